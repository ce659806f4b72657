#include "vector_kernels.h"

#include <nvector/nvector_serial.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tavrel::sim {

namespace {

// The kernels that the integrator runs on every stage get a second build for processors with
// 256-bit vector instructions, chosen when the program loads. Each element's operations stay
// the same (no fused multiply-add: contraction is off), so the results are too.
#define TAVREL_WIDE_VECTOR_CLONES __attribute__((target_clones("avx", "default")))

sunindextype length(N_Vector v) { return NV_LENGTH_S(v); }
double* data(N_Vector v) { return NV_DATA_S(v); }

TAVREL_WIDE_VECTOR_CLONES
void linearSum(double a, N_Vector x, double b, N_Vector y, N_Vector z) {
    const double* xd = data(x);
    const double* yd = data(y);
    double* zd = data(z);
    const sunindextype n = length(x);
    for (sunindextype i = 0; i < n; ++i)
        zd[i] = a * xd[i] + b * yd[i];
}

TAVREL_WIDE_VECTOR_CLONES
void setConstant(double c, N_Vector z) {
    double* zd = data(z);
    for (sunindextype i = 0, n = length(z); i < n; ++i)
        zd[i] = c;
}

TAVREL_WIDE_VECTOR_CLONES
void product(N_Vector x, N_Vector y, N_Vector z) {
    const double* xd = data(x);
    const double* yd = data(y);
    double* zd = data(z);
    for (sunindextype i = 0, n = length(x); i < n; ++i)
        zd[i] = xd[i] * yd[i];
}

TAVREL_WIDE_VECTOR_CLONES
void quotient(N_Vector x, N_Vector y, N_Vector z) {
    const double* xd = data(x);
    const double* yd = data(y);
    double* zd = data(z);
    for (sunindextype i = 0, n = length(x); i < n; ++i)
        zd[i] = xd[i] / yd[i];
}

TAVREL_WIDE_VECTOR_CLONES
void scale(double c, N_Vector x, N_Vector z) {
    const double* xd = data(x);
    double* zd = data(z);
    for (sunindextype i = 0, n = length(x); i < n; ++i)
        zd[i] = c * xd[i];
}

TAVREL_WIDE_VECTOR_CLONES
void absolute(N_Vector x, N_Vector z) {
    const double* xd = data(x);
    double* zd = data(z);
    for (sunindextype i = 0, n = length(x); i < n; ++i)
        zd[i] = std::fabs(xd[i]);
}

TAVREL_WIDE_VECTOR_CLONES
void inverse(N_Vector x, N_Vector z) {
    const double* xd = data(x);
    double* zd = data(z);
    for (sunindextype i = 0, n = length(x); i < n; ++i)
        zd[i] = 1.0 / xd[i];
}

TAVREL_WIDE_VECTOR_CLONES
void addConstant(N_Vector x, double b, N_Vector z) {
    const double* xd = data(x);
    double* zd = data(z);
    for (sunindextype i = 0, n = length(x); i < n; ++i)
        zd[i] = xd[i] + b;
}

double weightedSquareSum(N_Vector x, N_Vector w) {
    const double* xd = data(x);
    const double* wd = data(w);
    double sum = 0;
    for (sunindextype i = 0, n = length(x); i < n; ++i) {
        const double p = xd[i] * wd[i];
        sum += p * p;
    }
    return sum;
}

double weightedRmsNorm(N_Vector x, N_Vector w) {
    return std::sqrt(weightedSquareSum(x, w) / static_cast<double>(length(x)));
}

// z = sum c[i]*X[i] as the library accumulates it, vector by vector: z = c[0]*X[0], then
// z += c[i]*X[i] for each further term. (With X[0] == z the library scales z in place, or
// leaves it when c[0] is 1; c[0]*z is the same number either way.) Kept for operands that
// alias z after the first, where the order of passes shows in the result.
void combineVectorByVector(int nvec, const double* c, N_Vector* X, N_Vector z) {
    double* zd = data(z);
    const sunindextype n = length(z);
    const double* x0 = data(X[0]);
    for (sunindextype j = 0; j < n; ++j)
        zd[j] = c[0] * x0[j];
    for (int i = 1; i < nvec; ++i) {
        const double* xd = data(X[i]);
        const double ci = c[i];
        for (sunindextype j = 0; j < n; ++j)
            zd[j] += ci * xd[j];
    }
}

// Four doubles operated on together; a processor without 256-bit instructions uses two
// 128-bit halves. They pass only between these inlined helpers, never across a call, so how a
// call would pass them (what GCC warns about) does not matter.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

[[gnu::always_inline]] inline Lanes load(const double* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void store(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

// Terms that one pass takes at most; the solvers combine fewer. More go vector by vector.
constexpr int max_one_pass_terms = 16;

// The same sums with the terms of each element added in registers, sixteen elements at a time:
// one pass over z instead of one per term. Each chunk reads all its terms before it writes z,
// so X[0] may be z itself.
TAVREL_WIDE_VECTOR_CLONES
void combineInOnePass(int nvec, const double* c, N_Vector* X, N_Vector z) {
    constexpr sunindextype chunk = 16;
    const double* x[max_one_pass_terms];
    for (int i = 0; i < nvec; ++i)
        x[i] = data(X[i]);
    double* zd = data(z);
    const sunindextype n = length(z);
    sunindextype j = 0;
    for (; j + chunk <= n; j += chunk) {
        const double* x0 = x[0] + j;
        Lanes s0 = c[0] * load(x0), s1 = c[0] * load(x0 + 4);
        Lanes s2 = c[0] * load(x0 + 8), s3 = c[0] * load(x0 + 12);
        for (int i = 1; i < nvec; ++i) {
            const double* xi = x[i] + j;
            s0 += c[i] * load(xi);
            s1 += c[i] * load(xi + 4);
            s2 += c[i] * load(xi + 8);
            s3 += c[i] * load(xi + 12);
        }
        store(zd + j, s0);
        store(zd + j + 4, s1);
        store(zd + j + 8, s2);
        store(zd + j + 12, s3);
    }
    for (; j < n; ++j) {
        double sum = c[0] * x[0][j];
        for (int i = 1; i < nvec; ++i)
            sum += c[i] * x[i][j];
        zd[j] = sum;
    }
}

int linearCombination(int nvec, double* c, N_Vector* X, N_Vector z) {
    if (nvec < 1) return -1;
    if (nvec == 1) {
        scale(c[0], X[0], z);
        return 0;
    }
    if (nvec == 2) {
        linearSum(c[0], X[0], c[1], X[1], z);
        return 0;
    }
    if (nvec > max_one_pass_terms || std::find(X + 1, X + nvec, z) != X + nvec)
        combineVectorByVector(nvec, c, X, z);
    else
        combineInOnePass(nvec, c, X, z);
    return 0;
}

// Z[i] = a[i]*x + Y[i].
TAVREL_WIDE_VECTOR_CLONES
int scaleAddMulti(int nvec, double* a, N_Vector x, N_Vector* Y, N_Vector* Z) {
    if (nvec < 1) return -1;
    const double* xd = data(x);
    const sunindextype n = length(x);
    for (int i = 0; i < nvec; ++i) {
        const double* yd = data(Y[i]);
        double* zd = data(Z[i]);
        for (sunindextype j = 0; j < n; ++j)
            zd[j] = a[i] * xd[j] + yd[j];
    }
    return 0;
}

} // namespace

TAVREL_WIDE_VECTOR_CLONES
void scalarToleranceWeights(double rtol, double atol, N_Vector y, N_Vector w) {
    const double* yd = data(y);
    double* wd = data(w);
    for (sunindextype i = 0, n = length(y); i < n; ++i)
        wd[i] = 1.0 / (rtol * std::fabs(yd[i]) + atol);
}

// x - x is +0 for a finite x and not-a-number otherwise: the bits of all the differences
// or-ed together are zero exactly when every value is finite (an or, unlike a sum, does not
// make each step wait for the previous one).
TAVREL_WIDE_VECTOR_CLONES
bool allFinite(const double* values, std::size_t count) {
    using Bits = std::uint64_t __attribute__((vector_size(sizeof(Lanes))));
    constexpr std::size_t lanes = sizeof(Lanes) / sizeof(double);
    Bits seen = {};
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        const Lanes x = load(values + i);
        const Lanes difference = x - x;
        Bits bits;
        std::memcpy(&bits, &difference, sizeof bits);
        seen |= bits;
    }
    std::uint64_t any = (seen[0] | seen[1]) | (seen[2] | seen[3]);
    for (; i < count; ++i) {
        const double difference = values[i] - values[i];
        std::uint64_t bits;
        std::memcpy(&bits, &difference, sizeof bits);
        any |= bits;
    }
    return any == 0;
}

void useHostVectorKernels(N_Vector v) {
    v->ops->nvlinearsum = linearSum;
    v->ops->nvconst = setConstant;
    v->ops->nvprod = product;
    v->ops->nvdiv = quotient;
    v->ops->nvscale = scale;
    v->ops->nvabs = absolute;
    v->ops->nvinv = inverse;
    v->ops->nvaddconst = addConstant;
    v->ops->nvwrmsnorm = weightedRmsNorm;
    v->ops->nvwsqrsumlocal = weightedSquareSum;
    v->ops->nvlinearcombination = linearCombination;
    v->ops->nvscaleaddmulti = scaleAddMulti;
}

} // namespace tavrel::sim
