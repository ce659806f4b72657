// Reading the numeric arguments of a call, and raising the errors of a sizes call.
#include "entry_parts.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace tavrel::entry {

namespace {

template <class T> double elementAsDouble(const void* data) {
    return static_cast<double>(*static_cast<const T*>(data));
}

} // namespace

// First element of a real numeric array, read according to the array's class (an integer or
// single array is never read as if it held doubles). False for an empty, complex or
// non-numeric array: text and logical values are not numbers.
bool firstNumericValue(const mxArray* array, double& value) {
    if (!array || !mxIsNumeric(array) || mxIsComplex(array)) return false;
    const void* data = mxGetData(array);
    if (!data || mxGetNumberOfElements(array) == 0) return false;
    switch (mxGetClassID(array)) {
    case mxDOUBLE_CLASS: value = elementAsDouble<double>(data); return true;
    case mxSINGLE_CLASS: value = elementAsDouble<float>(data); return true;
    case mxINT8_CLASS: value = elementAsDouble<int8_t>(data); return true;
    case mxUINT8_CLASS: value = elementAsDouble<uint8_t>(data); return true;
    case mxINT16_CLASS: value = elementAsDouble<int16_t>(data); return true;
    case mxUINT16_CLASS: value = elementAsDouble<uint16_t>(data); return true;
    case mxINT32_CLASS: value = elementAsDouble<int32_t>(data); return true;
    case mxUINT32_CLASS: value = elementAsDouble<uint32_t>(data); return true;
    case mxINT64_CLASS: value = elementAsDouble<int64_t>(data); return true;
    case mxUINT64_CLASS: value = elementAsDouble<uint64_t>(data); return true;
    default: return false;
    }
}

// Truncation toward zero into a 32-bit integer; false (and no conversion) for a value that is
// not a number or whose truncation lies outside the 32-bit range.
bool truncateFlag(double value, int& flag) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
    flag = static_cast<int>(value);
    return true;
}

Banner bannerOf(const BlockDefinition& block) {
    Banner banner;
    std::snprintf(banner.text, sizeof banner.text, "MEX level2 S-function \"%s\"", block.name);
    return banner;
}

void raiseError(const char* format, ...) {
    char message[message_size];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    mexErrMsgTxt(message);
}

bool isInt32Value(double value) {
    int flag = 0;
    return truncateFlag(value, flag) && static_cast<double>(flag) == value;
}

} // namespace tavrel::entry
