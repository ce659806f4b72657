#include "profile_interp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using tavrel::interpProfileEndBoundary;
using tavrel::interpProfileStartBoundary;

namespace {

constexpr int n = 20;
constexpr double dx = 0.05; // a conduit of length 1

// A profile with distinct, irregular values so that a wrong index shows.
std::vector<double> profile() {
    std::vector<double> p(n);
    for (int k = 0; k < n; ++k)
        p[k] = 3.0 + k * k * 0.1 - (k % 3);
    return p;
}

struct Samples {
    std::vector<double> start, end;
};

Samples sample(const std::vector<double>& positions, double b_start = -7.0, double b_end = 11.0) {
    const auto p = profile();
    Samples s{std::vector<double>(positions.size()), std::vector<double>(positions.size())};
    interpProfileStartBoundary(p.data(), positions.data(), s.start.data(), n,
                               static_cast<int>(positions.size()), dx, b_start);
    interpProfileEndBoundary(p.data(), positions.data(), s.end.data(), n,
                             static_cast<int>(positions.size()), dx, b_end);
    return s;
}

TEST(ProfileSamplers, ExactAtTheEndsAndAtSupportPoints) {
    const auto p = profile();
    const auto s = sample({0.0, n * dx});
    EXPECT_EQ(s.start[0], -7.0);
    EXPECT_EQ(s.start[1], p[n - 1]);
    EXPECT_EQ(s.end[0], p[0]);
    EXPECT_NEAR(s.end[1], 11.0, 1e-12);
    for (int k = 0; k < n - 1; ++k) {
        const auto at = sample({(k + 1) * dx, k * dx});
        EXPECT_NEAR(at.start[0], p[k], 1e-12) << k;
        EXPECT_NEAR(at.end[1], p[k], 1e-12) << k;
    }
}

TEST(ProfileSamplers, MidpointsAndTheWorkedCases) {
    const auto p = profile();
    const auto s = sample({dx / 2, 0.975, 0.02});
    EXPECT_DOUBLE_EQ(s.start[0], (p[0] + -7.0) / 2);
    EXPECT_NEAR(s.end[1], p[19] + 0.5 * (11.0 - p[19]), 1e-12);
    EXPECT_NEAR(s.start[1], p[18] + 0.5 * (p[19] - p[18]), 1e-12);
    EXPECT_NEAR(s.start[2], -7.0 + 0.4 * (p[0] - -7.0), 1e-12);
    for (int k = 0; k + 1 < n; ++k) {
        EXPECT_NEAR(sample({(k + 0.5) * dx}).end[0], (p[k] + p[k + 1]) / 2, 1e-12) << k;
    }
}

// Both rules that meet at a support point give that point's value.
TEST(ProfileSamplers, ContinuousAtEverySupportPoint) {
    for (int j = 0; j <= n; ++j) {
        const double x = j * dx;
        const double eps = 1e-9;
        const auto s = sample({std::max(0.0, x - eps), x, std::min(n * dx, x + eps)});
        EXPECT_NEAR(s.start[0], s.start[1], 1e-6) << j;
        EXPECT_NEAR(s.start[2], s.start[1], 1e-6) << j;
        EXPECT_NEAR(s.end[0], s.end[1], 1e-6) << j;
        EXPECT_NEAR(s.end[2], s.end[1], 1e-6) << j;
    }
}

TEST(ProfileSamplers, UnsortedAndRepeatedPositionsAreIndependent) {
    const auto many = sample({0.6, 0.1, 0.6, 0.33});
    const auto one = sample({0.33});
    EXPECT_EQ(many.start[0], many.start[2]);
    EXPECT_EQ(many.end[3], one.end[0]);
    EXPECT_EQ(many.start[3], one.start[0]);
}

TEST(ProfileSamplers, ZeroCountWritesNothing) {
    const auto p = profile();
    double x = 0.5, result = 42.0;
    interpProfileStartBoundary(p.data(), &x, &result, n, 0, dx, 0.0);
    interpProfileEndBoundary(p.data(), &x, &result, n, -3, dx, 0.0);
    EXPECT_EQ(result, 42.0);
}

// Positions outside the grid are taken as its nearest end and never read past the profile
// (the sanitizer build checks the reads); a sensor placed at the conduit's length can lie one
// rounding step above n*dx.
TEST(ProfileSamplers, PositionsOutsideTheGridTakeTheNearestEnd) {
    const auto p = profile();
    const double length = 3000.0;
    const double cell = length / 150;
    std::vector<double> long_profile(150, 1.0);
    long_profile[149] = 5.0;
    const double at_length = length;
    double up = 0, down = 0;
    interpProfileStartBoundary(long_profile.data(), &at_length, &up, 150, 1, cell, -1.0);
    interpProfileEndBoundary(long_profile.data(), &at_length, &down, 150, 1, cell, 9.0);
    EXPECT_DOUBLE_EQ(up, 5.0);
    EXPECT_DOUBLE_EQ(down, 9.0);

    const double huge = std::numeric_limits<double>::max();
    const auto s = sample({-0.5, n * dx * (1 + 1e-15), 7.0, huge, -huge});
    EXPECT_EQ(s.start[0], -7.0);
    EXPECT_EQ(s.end[0], p[0]);
    for (int i : {1, 2, 3}) {
        EXPECT_EQ(s.start[i], p[n - 1]) << i;
        EXPECT_EQ(s.end[i], 11.0) << i;
    }
    EXPECT_EQ(s.start[4], -7.0);
    EXPECT_EQ(s.end[4], p[0]);
}

TEST(ProfileSamplers, NotANumberPositionGivesNotANumber) {
    const auto s = sample({std::nan(""), 0.5});
    EXPECT_TRUE(std::isnan(s.start[0]));
    EXPECT_TRUE(std::isnan(s.end[0]));
    EXPECT_FALSE(std::isnan(s.start[1]));
}

} // namespace
