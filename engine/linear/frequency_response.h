// The frequency response G(jw) = C (jw I - A)^-1 B + D of a linear model, by one solve per
// frequency with the upper Hessenberg form of A. Transfer-function polynomials would lose
// every digit for hundreds of lightly damped poles; the Hessenberg form keeps the accuracy of
// a dense solve at the cost of O(n^2) per frequency.
#pragma once

#include "linearization.h"

#include <complex>
#include <vector>

namespace tavrel::linear {

class FrequencyResponse {
  public:
    // Reduces A = Q H Q' once by Householder reflections; B and C are carried along.
    FrequencyResponse(const Matrix& A, const Matrix& B, const Matrix& C, const Matrix& D);

    // G at each angular frequency [rad/s]: outputs x inputs per frequency, row-major, the
    // frequencies one after another.
    std::vector<std::complex<double>> at(const std::vector<double>& omegas) const;

    size_t outputs() const { return p_; }
    size_t inputs() const { return m_; }

  private:
    // Fewer frequencies than this per core are not worth a thread.
    static constexpr size_t min_frequencies_per_thread = 32;

    void solveRange(const std::vector<double>& omegas, size_t first, size_t end,
                    std::vector<std::complex<double>>& G) const;

    size_t n_, m_, p_;
    Matrix H_, QtB_, CQ_, D_;
};

} // namespace tavrel::linear
