// How a block reads its dialog parameters and inputs and writes its outputs.
//
// Every read goes through the host's record afresh (nothing is cached between calls), and no
// read or write can leave the host's arrays, whatever the user's parameters say: a missing or
// empty scalar parameter reads as not-a-number, a vector parameter's length never exceeds its
// data, and an output index the block does not have is not written.
#pragma once

#include "simstruc.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tavrel {

inline const mxArray* dialogParameter(const SimStruct* S, int k) {
    if (k < 0 || k >= ssGetSFcnParamsCount(S)) return nullptr;
    return ssGetSFcnParam(S, k);
}

// First element of dialog parameter k.
inline double paramScalar(const SimStruct* S, int k) {
    const mxArray* p = dialogParameter(S, k);
    const double* data = p ? mxGetPr(p) : nullptr;
    if (!data || mxGetNumberOfElements(p) == 0) return std::numeric_limits<double>::quiet_NaN();
    return data[0];
}

// A vector parameter: its element data and its column count as length.
struct ParamVector {
    const double* data = nullptr;
    std::size_t length = 0;
    double operator[](std::size_t i) const { return data[i]; }
};

inline ParamVector paramVector(const SimStruct* S, int k) {
    const mxArray* p = dialogParameter(S, k);
    const double* data = p ? mxGetPr(p) : nullptr;
    if (!data || mxGetM(p) == 0) return {};
    return {data, static_cast<std::size_t>(mxGetN(p))};
}

// Truncation toward zero into a 32-bit integer, saturating at its ends; not-a-number gives 0.
inline int truncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// Sum of a port index and a count, kept within the 32-bit range the host's counts use.
inline int clampedPortCount(int first, std::size_t count) {
    const long long sum = static_cast<long long>(first) +
                          static_cast<long long>(count > INT32_MAX ? INT32_MAX : count);
    if (sum > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(sum);
}

inline double inputValue(const SimStruct* S, int port) {
    return *ssGetInputPortRealSignalPtrs(S, port)[0];
}

inline void writeOutput(const SimStruct* S, long long port, double value) {
    if (port < 0 || port >= ssGetNumOutputPorts(S)) return;
    ssGetOutputPortRealSignal(S, static_cast<int>(port))[0] = value;
}

} // namespace tavrel
