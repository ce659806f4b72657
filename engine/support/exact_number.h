// Numbers written as text that read back to the same double (17 significant digits), for the
// files and messages where a value must survive the round trip: study rows, case files,
// optimisation batches, JSON answers, FMU layouts.
#pragma once

#include <cstdio>
#include <string>

namespace tavrel {

inline std::string exactNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

} // namespace tavrel
