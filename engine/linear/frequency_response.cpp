#include "frequency_response.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace tavrel::linear {

namespace {

// Reduces A to upper Hessenberg form in place, applying each reflection P = I - 2vv'/v'v
// (A <- P A P) to B from the left and to C from the right as well.
void reduceToHessenberg(Matrix& A, Matrix& B, Matrix& C) {
    const size_t n = A.rows;
    std::vector<double> v(n), column_sums;
    for (size_t k = 0; k + 2 < n; ++k) {
        double alpha = 0;
        for (size_t i = k + 1; i < n; ++i)
            alpha += A(i, k) * A(i, k);
        alpha = std::sqrt(alpha);
        if (alpha == 0) continue;
        if (A(k + 1, k) > 0) alpha = -alpha;
        std::fill(v.begin(), v.end(), 0.0);
        v[k + 1] = A(k + 1, k) - alpha;
        for (size_t i = k + 2; i < n; ++i)
            v[i] = A(i, k);
        double vv = 0;
        for (size_t i = k + 1; i < n; ++i)
            vv += v[i] * v[i];
        if (vv == 0) continue;
        const double beta = 2 / vv;
        // Rows k+1.. of A and B: M <- M - beta v (v' M), row by row through memory (each
        // column's sum still taken in the order of its rows). Columns before `first` are zero
        // in those rows (A's reduced columns) and stay as they are.
        const auto fromLeft = [&](Matrix& M, size_t first) {
            column_sums.assign(M.cols, 0.0);
            for (size_t i = k + 1; i < n; ++i)
                for (size_t c = first; c < M.cols; ++c)
                    column_sums[c] += v[i] * M(i, c);
            for (double& s : column_sums)
                s *= beta;
            for (size_t i = k + 1; i < n; ++i)
                for (size_t c = first; c < M.cols; ++c)
                    M(i, c) -= column_sums[c] * v[i];
        };
        // Columns k+1.. of A and C: M <- M - beta (M v) v'.
        const auto fromRight = [&](Matrix& M) {
            for (size_t r = 0; r < M.rows; ++r) {
                double* row = &M.values[r * M.cols];
                double s = 0;
#pragma omp simd reduction(+ : s)
                for (size_t i = k + 1; i < n; ++i)
                    s += row[i] * v[i];
                s *= beta;
                for (size_t i = k + 1; i < n; ++i)
                    row[i] -= s * v[i];
            }
        };
        fromLeft(A, k);
        fromLeft(B, 0);
        fromRight(A);
        fromRight(C);
        for (size_t i = k + 2; i < n; ++i)
            A(i, k) = 0.0; // exactly zero below the subdiagonal
    }
}

// Complex numbers as separate real and imaginary arrays: the loops vectorise, and products
// need no checks for infinities.
struct ComplexMatrix {
    size_t rows, cols;
    std::vector<double> re, im;
    ComplexMatrix(size_t r, size_t c) : rows(r), cols(c), re(r * c), im(r * c) {}
};

} // namespace

FrequencyResponse::FrequencyResponse(const Matrix& A, const Matrix& B, const Matrix& C,
                                     const Matrix& D)
    : n_(A.rows), m_(B.cols), p_(C.rows), H_(A), QtB_(B), CQ_(C), D_(D) {
    if (A.cols != n_ || B.rows != n_ || C.cols != n_ || D.rows != p_ || D.cols != m_) {
        throw std::invalid_argument("frequency response: the matrices' sizes do not agree");
    }
    reduceToHessenberg(H_, QtB_, CQ_);
}

std::vector<std::complex<double>> FrequencyResponse::at(const std::vector<double>& omegas) const {
    std::vector<std::complex<double>> G(omegas.size() * p_ * m_);
    // The frequencies are independent solves: shared out over the cores in contiguous ranges,
    // each value computed exactly as on one core.
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t workers = std::min<size_t>(cores, omegas.size() / min_frequencies_per_thread);
    if (workers <= 1) {
        solveRange(omegas, 0, omegas.size(), G);
        return G;
    }
    std::vector<std::thread> threads;
    const size_t share = (omegas.size() + workers - 1) / workers;
    for (size_t first = 0; first < omegas.size(); first += share) {
        const size_t end = std::min(omegas.size(), first + share);
        threads.emplace_back([&, first, end] { solveRange(omegas, first, end, G); });
    }
    for (auto& thread : threads)
        thread.join();
    return G;
}

void FrequencyResponse::solveRange(const std::vector<double>& omegas, size_t first, size_t end,
                                   std::vector<std::complex<double>>& G) const {
    const size_t n = n_, m = m_, p = p_;
    // X holds one right-hand side per row (inputs x states), so that every inner loop runs
    // over contiguous memory.
    ComplexMatrix W(n, n), X(m, n);
    for (size_t f = first; f < end; ++f) {
        // W = jw I - H, X = (Q'B)'. Only the Hessenberg band is set: the solve reads no entry
        // left of the subdiagonal.
        for (size_t r = 0; r < n; ++r) {
            for (size_t k = r * n + (r == 0 ? 0 : r - 1); k < (r + 1) * n; ++k) {
                W.re[k] = -H_.values[k];
                W.im[k] = 0.0;
            }
        }
        for (size_t k = 0; k < n; ++k)
            W.im[k * n + k] = omegas[f];
        for (size_t k = 0; k < n; ++k) {
            for (size_t c = 0; c < m; ++c) {
                X.re[c * n + k] = QtB_(k, c);
                X.im[c * n + k] = 0.0;
            }
        }
        // Elimination of the subdiagonal, with the larger of the two rows as pivot.
        for (size_t k = 0; k + 1 < n; ++k) {
            const size_t a = k * n, b = (k + 1) * n;
            const double pr = W.re[a + k], pi = W.im[a + k];
            const double sr = W.re[b + k], si = W.im[b + k];
            if (sr * sr + si * si > pr * pr + pi * pi) {
                for (size_t c = k; c < n; ++c) {
                    std::swap(W.re[a + c], W.re[b + c]);
                    std::swap(W.im[a + c], W.im[b + c]);
                }
                for (size_t c = 0; c < m; ++c) {
                    std::swap(X.re[c * n + k], X.re[c * n + k + 1]);
                    std::swap(X.im[c * n + k], X.im[c * n + k + 1]);
                }
            }
            const double dr = W.re[a + k], di = W.im[a + k];
            const double d2 = dr * dr + di * di;
            if (d2 == 0) continue; // a pole on the axis at this frequency: no finite value
            const double nr = W.re[b + k], ni = W.im[b + k];
            const double lr = (nr * dr + ni * di) / d2, li = (ni * dr - nr * di) / d2;
            for (size_t c = k + 1; c < n; ++c) {
                const double ur = W.re[a + c], ui = W.im[a + c];
                W.re[b + c] -= lr * ur - li * ui;
                W.im[b + c] -= lr * ui + li * ur;
            }
            for (size_t c = 0; c < m; ++c) {
                const double ur = X.re[c * n + k], ui = X.im[c * n + k];
                X.re[c * n + k + 1] -= lr * ur - li * ui;
                X.im[c * n + k + 1] -= lr * ui + li * ur;
            }
            W.re[b + k] = 0.0;
            W.im[b + k] = 0.0;
        }
        // Back substitution, row by row of the triangle: for each right-hand side the dot
        // product of the row with the solution found so far, over contiguous memory.
        for (size_t k = n; k-- > 0;) {
            const double* wr = &W.re[k * n];
            const double* wi = &W.im[k * n];
            const double dr = wr[k], di = wi[k];
            const double d2 = dr * dr + di * di;
            for (size_t c = 0; c < m; ++c) {
                double* xr = &X.re[c * n];
                double* xi = &X.im[c * n];
                double ar = 0, ai = 0;
#pragma omp simd reduction(+ : ar, ai)
                for (size_t r = k + 1; r < n; ++r) {
                    ar += wr[r] * xr[r] - wi[r] * xi[r];
                    ai += wr[r] * xi[r] + wi[r] * xr[r];
                }
                const double sr = xr[k] - ar, si = xi[k] - ai;
                xr[k] = (sr * dr + si * di) / d2;
                xi[k] = (si * dr - sr * di) / d2;
            }
        }
        // G = C Q X + D.
        for (size_t i = 0; i < p; ++i) {
            for (size_t j = 0; j < m; ++j) {
                double gr = D_(i, j), gi = 0;
                for (size_t k = 0; k < n; ++k) {
                    gr += CQ_(i, k) * X.re[j * n + k];
                    gi += CQ_(i, k) * X.im[j * n + k];
                }
                G[(f * p + i) * m + j] = {gr, gi};
            }
        }
    }
}

} // namespace tavrel::linear
