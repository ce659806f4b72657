// Numbers written as text that read back to the same double, for the files and messages where a
// value must survive the round trip. Two spellings, each kept by the files that use it:
//   exactNumber     17 significant digits: study rows, case files, optimisation batches, JSON
//                   answers, FMU layouts;
//   shortestNumber  the shortest such text, spelt as Python's repr() spells it ("0.1", "1.0",
//                   "1e-05", "1.2345678901234568e+17", "nan", "inf"): evaluations.csv,
//                   result.json, best.toml and the linear model's tables, whose bytes were
//                   first fixed by that spelling.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tavrel {

inline std::string exactNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

inline std::string shortestNumber(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char text[40];
    char* end =
        std::to_chars(text, text + sizeof text, std::fabs(v), std::chars_format::scientific).ptr;
    const std::string sci(text, end); // "d.ddde+XX"
    const size_t e = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + e + 1);
    std::string digits = sci.substr(0, e);
    if (digits.size() > 1) digits.erase(1, 1); // the point
    std::string out;
    if (exponent >= -4 && exponent < 16) { // positional, as repr() writes these
        const size_t whole = size_t(exponent + 1);
        if (exponent < 0)
            out = "0." + std::string(size_t(-exponent - 1), '0') + digits;
        else if (digits.size() <= whole)
            out = digits + std::string(whole - digits.size(), '0') + ".0";
        else
            out = digits.substr(0, whole) + "." + digits.substr(whole);
    } else {
        out = digits.substr(0, 1) + (digits.size() > 1 ? "." + digits.substr(1) : "");
        char power[16];
        std::snprintf(power, sizeof power, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out += power;
    }
    return std::signbit(v) ? "-" + out : out;
}

} // namespace tavrel
