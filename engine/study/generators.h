// The values a varied key takes: lists and spacings, or random draws that are the same for the
// same seed on any machine (own generator and transforms, no library distributions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::study {

struct GeneratorArgs {
    std::vector<double> list;   // `values`
    double a = 0, b = 0, c = 0; // the generator's fields in its order
    long samples = 0;           // draws of a random generator
    std::uint64_t stream = 0;   // seed of this key's draws
};

// A field of a generator's table: a value of the varied key (in its unit), or a count or a
// parameter of the draw's logarithm (a plain number).
struct GeneratorField {
    const char* name;
    bool in_key_unit = true;
};

struct Generator {
    const char* name;
    std::vector<GeneratorField> fields; // a table's fields in order; empty: a list of values
    bool random;
    // Returns the values, or throws std::invalid_argument naming the broken rule.
    std::vector<double> (*make)(const GeneratorArgs& args);
};

// The generators a study knows, by name.
const std::vector<Generator>& generators();

// The stream of key `index` of a study seeded with `seed`.
std::uint64_t streamSeed(std::uint64_t seed, size_t index);

} // namespace tavrel::study
