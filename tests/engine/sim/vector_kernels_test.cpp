// The host's vector kernels against the solver library's own serial kernels: the same bits for
// every length, term count and aliasing of the output with an input.
#include "vector_kernels.h"

#include <gtest/gtest.h>
#include <nvector/nvector_serial.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

struct ContextDeleter {
    void operator()(SUNContext c) const { SUNContext_Free(&c); }
};
struct VectorDeleter {
    void operator()(N_Vector v) const { N_VDestroy(v); }
};
using Context = std::unique_ptr<_SUNContext, ContextDeleter>;
using Vector = std::unique_ptr<_generic_N_Vector, VectorDeleter>;

struct Combination {
    int terms;
    sunindextype length;
    int output_is_term; // -1: a vector of its own
    bool unit_first_coefficient;
};

// z = sum c[i]*X[i] over the same pseudo-random data (values over many magnitudes, so that
// rounding shows), by the host's kernel or by the library's.
std::vector<double> combine(const Combination& c, bool host_kernel) {
    SUNContext raw = nullptr;
    EXPECT_EQ(SUNContext_Create(nullptr, &raw), 0);
    const Context context(raw);
    std::mt19937_64 random(12);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::vector<Vector> owned;
    std::vector<N_Vector> terms;
    for (int i = 0; i <= c.terms; ++i) {
        owned.emplace_back(N_VNew_Serial(c.length, context.get()));
        double* d = N_VGetArrayPointer(owned.back().get());
        for (sunindextype j = 0; j < c.length; ++j)
            d[j] = std::ldexp(unit(random), exponent(random));
        if (i > 0) terms.push_back(owned.back().get());
    }
    std::vector<double> coefficient(static_cast<size_t>(c.terms));
    for (auto& v : coefficient)
        v = 3 * unit(random);
    if (c.unit_first_coefficient) coefficient[0] = 1.0;
    N_Vector z =
        c.output_is_term < 0 ? owned[0].get() : terms[static_cast<size_t>(c.output_is_term)];
    tavrel::sim::useHostVectorKernels(z);
    auto kernel = host_kernel ? z->ops->nvlinearcombination : &N_VLinearCombination_Serial;
    EXPECT_EQ(kernel(c.terms, coefficient.data(), terms.data(), z), 0);
    const double* out = N_VGetArrayPointer(z);
    return {out, out + c.length};
}

} // namespace

TEST(VectorKernels, LinearCombinationGivesTheLibrarysBits) {
    const Combination cases[] = {
        {1, 5, -1, false},  {2, 5, -1, false},   {3, 0, -1, false},    {3, 1, -1, false},
        {3, 17, -1, false}, {7, 346, -1, false}, {7, 17, 0, false},    {7, 33, 0, true},
        {5, 40, 2, false},  {4, 19, 3, true},    {16, 100, -1, false}, {17, 37, 0, false},
    };
    for (const Combination& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.terms << " terms of length " << c.length
                                          << ", output is term " << c.output_is_term);
        const std::vector<double> host = combine(c, true);
        const std::vector<double> library = combine(c, false);
        // Bitwise, so that a different rounding or a lost negative zero fails.
        EXPECT_TRUE(std::equal(
            host.begin(), host.end(), library.begin(), library.end(), [](double a, double b) {
                return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
            }));
    }
}

TEST(VectorKernels, AllFiniteFindsAnyInfinityOrNotANumber) {
    using limits = std::numeric_limits<double>;
    for (size_t length : {0, 1, 4, 7, 346}) {
        std::vector<double> v(length, limits::max());
        for (size_t i = 0; i < length; i += 2)
            v[i] = i % 4 ? -0.0 : -limits::denorm_min();
        EXPECT_TRUE(tavrel::sim::allFinite(v.data(), v.size())) << length;
        for (size_t at : {size_t{0}, length / 2, length - 1}) {
            if (at >= length) continue;
            for (double bad : {limits::infinity(), -limits::infinity(), limits::quiet_NaN()}) {
                std::vector<double> w = v;
                w[at] = bad;
                EXPECT_FALSE(tavrel::sim::allFinite(w.data(), w.size())) << bad << " at " << at;
            }
        }
    }
}

TEST(VectorKernels, ToleranceWeightsGiveTheLibrarysBits) {
    SUNContext raw = nullptr;
    ASSERT_EQ(SUNContext_Create(nullptr, &raw), 0);
    const Context context(raw);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (sunindextype length : {0, 3, 346}) {
        const Vector y(N_VNew_Serial(length, context.get()));
        const Vector host(N_VClone(y.get())), library(N_VClone(y.get()));
        double* yd = N_VGetArrayPointer(y.get());
        for (sunindextype i = 0; i < length; ++i)
            yd[i] = std::ldexp(unit(random), i % 60 - 30);
        const double rtol = 1e-6, atol = 1e-8;
        tavrel::sim::scalarToleranceWeights(rtol, atol, y.get(), host.get());
        // What the library does for scalar tolerances, pass by pass.
        N_VAbs_Serial(y.get(), library.get());
        N_VScale_Serial(rtol, library.get(), library.get());
        N_VAddConst_Serial(library.get(), atol, library.get());
        N_VInv_Serial(library.get(), library.get());
        for (sunindextype i = 0; i < length; ++i)
            EXPECT_EQ(std::bit_cast<std::uint64_t>(N_VGetArrayPointer(host.get())[i]),
                      std::bit_cast<std::uint64_t>(N_VGetArrayPointer(library.get())[i]))
                << "element " << i << " of " << length;
    }
}
