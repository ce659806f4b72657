// A seeded random generator whose draws are the same on every machine: SplitMix64 with its own
// transforms, no library distributions (whose algorithms differ between standard libraries).
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

namespace tavrel {

struct SeededRandom {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double open01() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; } // (0, 1)
    double normal() { // Box-Muller, one value per pair
        const double u1 = open01();
        const double u2 = open01();
        return std::sqrt(-2 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
    }
};

} // namespace tavrel
