#include "generators.h"

#include "seeded_random.h"

#include <cmath>
#include <stdexcept>

namespace tavrel::study {

namespace {

constexpr long max_values = 1000000;
long count(double num) {
    if (!(num >= 1) || num != std::floor(num) || num > max_values) {
        throw std::invalid_argument("num must be a whole number from 1 to 1000000");
    }
    return static_cast<long>(num);
}

std::vector<double> values(const GeneratorArgs& g) {
    if (g.list.empty()) throw std::invalid_argument("needs at least one value");
    return g.list;
}

std::vector<double> linspace(const GeneratorArgs& g) {
    const long n = count(g.c);
    std::vector<double> v;
    for (long i = 0; i < n; ++i)
        v.push_back(n == 1 ? g.a : g.a + (g.b - g.a) * double(i) / double(n - 1));
    if (n > 1) v.back() = g.b;
    return v;
}

// Geometric spacing between the values `start` and `stop` themselves.
std::vector<double> logspace(const GeneratorArgs& g) {
    if (!(g.a > 0) || !(g.b > 0)) throw std::invalid_argument("start and stop must be positive");
    const long n = count(g.c);
    std::vector<double> v;
    for (long i = 0; i < n; ++i) {
        v.push_back(n == 1 ? g.a : g.a * std::pow(g.b / g.a, double(i) / double(n - 1)));
    }
    if (n > 1) v.back() = g.b;
    return v;
}

// start, start + step, ... up to stop, which is included when it falls on the grid.
std::vector<double> range(const GeneratorArgs& g) {
    if (!(g.c > 0)) throw std::invalid_argument("step must be positive");
    if (!(g.b >= g.a)) throw std::invalid_argument("stop must not be below start");
    const double steps = std::floor((g.b - g.a) / g.c + 1e-9);
    if (steps + 1 > max_values) throw std::invalid_argument("more than 1000000 values");
    std::vector<double> v;
    for (long i = 0; i <= static_cast<long>(steps); ++i)
        v.push_back(g.a + double(i) * g.c);
    return v;
}

template <typename Draw> std::vector<double> draws(const GeneratorArgs& g, Draw draw) {
    SeededRandom random{g.stream};
    std::vector<double> v;
    for (long i = 0; i < g.samples; ++i)
        v.push_back(draw(random));
    return v;
}

std::vector<double> uniform(const GeneratorArgs& g) {
    if (!(g.b > g.a)) throw std::invalid_argument("high must exceed low");
    return draws(g, [&](SeededRandom& r) { return g.a + (g.b - g.a) * r.open01(); });
}

std::vector<double> normal(const GeneratorArgs& g) {
    if (!(g.b >= 0)) throw std::invalid_argument("std must not be negative");
    return draws(g, [&](SeededRandom& r) { return g.a + g.b * r.normal(); });
}

// `mean` and `sigma` of the value's logarithm.
std::vector<double> lognormal(const GeneratorArgs& g) {
    if (!(g.b >= 0)) throw std::invalid_argument("sigma must not be negative");
    return draws(g, [&](SeededRandom& r) { return std::exp(g.a + g.b * r.normal()); });
}

} // namespace

const std::vector<Generator>& generators() {
    static const std::vector<Generator> all{
        {"values", {}, false, values},
        {"linspace", {{"start"}, {"stop"}, {"num", false}}, false, linspace},
        {"logspace", {{"start"}, {"stop"}, {"num", false}}, false, logspace},
        {"range", {{"start"}, {"stop"}, {"step"}}, false, range},
        {"uniform", {{"low"}, {"high"}}, true, uniform},
        {"normal", {{"mean"}, {"std"}}, true, normal},
        {"lognormal", {{"mean", false}, {"sigma", false}}, true, lognormal},
    };
    return all;
}

std::uint64_t streamSeed(std::uint64_t seed, size_t index) {
    SeededRandom mix{seed ^ (0xD1B54A32D192ED03ull * (index + 1))};
    return mix.next();
}

} // namespace tavrel::study
