// Typed values drawn from a fuzzer's bytes. Past the end every draw gives zero (or the first
// choice), so that any input, however short, decodes to something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace tavrel::fuzz {

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return at_ >= size_; }

    std::uint8_t byte() { return done() ? 0 : data_[at_++]; }

    // A whole number in [0, n) (n > 0).
    std::size_t below(std::size_t n) {
        std::size_t value = byte();
        if (n > 256) value = (value << 8) | byte();
        return value % n;
    }

    // Mostly values that break arithmetic (0, -0, NaN, the infinities, the extremes, values
    // just around the integers a block rounds), otherwise the raw bits of a double.
    double number() {
        static constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        static constexpr double inf = std::numeric_limits<double>::infinity();
        static constexpr double edges[] = {
            0.0,          -0.0,    1.0,    -1.0,           0.5,          2.0,
            7.0,          20.0,    100.0,  1000.0,         3000.0,       1e5,
            20e5,         nan,     inf,    -inf,           1e308,        -1e308,
            5e-324,       -5e-324, 1e-300, 2147483647.0,   2147483648.0, -2147483649.0,
            4294967296.0, 1e19,    -1e19,  0.999999999999, 1.5,
        };
        const std::uint8_t pick = byte();
        if (pick < 2 * std::size(edges)) return edges[pick % std::size(edges)];
        double value = 0;
        std::uint8_t bits[sizeof value] = {};
        for (auto& b : bits)
            b = byte();
        std::memcpy(&value, bits, sizeof value);
        return value;
    }

    std::vector<double> numbers(std::size_t max_count) {
        std::vector<double> values(below(max_count + 1));
        for (double& v : values)
            v = number();
        return values;
    }

    // The rest of the input as text.
    std::string rest() {
        std::string text(reinterpret_cast<const char*>(data_ + at_), done() ? 0 : size_ - at_);
        at_ = size_;
        return text;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

} // namespace tavrel::fuzz
