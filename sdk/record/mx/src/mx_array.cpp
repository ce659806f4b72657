// Array library: numeric, text and logical matrices held in column-major order.
#define TAVREL_MX_DEFINES_EXPORTS
#include "matrix.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

size_t elementSize(mxClassID id) {
    switch (id) {
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS: return 8;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS: return 4;
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
    case mxCHAR_CLASS: return 2;
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
    case mxLOGICAL_CLASS: return 1;
    default: return 0;
    }
}

bool isNumericClass(mxClassID id) { return mxInlineIsNumericClass(id); }

mxArray* createArray(mwSize m, mwSize n, mxClassID id, bool complex) {
    const size_t element = elementSize(id);
    if (element == 0) return nullptr;
    if (n != 0 && m > SIZE_MAX / n) return nullptr;
    const size_t count = m * n;
    if (count > SIZE_MAX / element) return nullptr;
    auto* array = static_cast<mxArray*>(std::calloc(1, sizeof(mxArray)));
    if (!array) return nullptr;
    array->class_id = id;
    array->rows = m;
    array->columns = n;
    // One spare element keeps the data pointer valid (and zero) for empty arrays.
    array->real = std::calloc(count + 1, element);
    if (complex) array->imag = static_cast<double*>(std::calloc(count + 1, sizeof(double)));
    if (!array->real || (complex && !array->imag)) {
        mxDestroyArray(array);
        return nullptr;
    }
    return array;
}

} // namespace

extern "C" {

mxArray* mxCreateDoubleMatrix_700(mwSize m, mwSize n, mxComplexity complexity) {
    return createArray(m, n, mxDOUBLE_CLASS, complexity == mxCOMPLEX);
}

// The unversioned name, for callers built against headers that do not rename it.
#undef mxCreateDoubleMatrix
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity) {
    return mxCreateDoubleMatrix_700(m, n, complexity);
}

mxArray* mxCreateDoubleScalar(double value) {
    mxArray* array = createArray(1, 1, mxDOUBLE_CLASS, false);
    if (array) static_cast<double*>(array->real)[0] = value;
    return array;
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity complexity) {
    if (!isNumericClass(classid)) return nullptr;
    if (complexity == mxCOMPLEX && classid != mxDOUBLE_CLASS) return nullptr;
    return createArray(m, n, classid, complexity == mxCOMPLEX);
}

mxArray* mxCreateLogicalScalar(int value) {
    mxArray* array = createArray(1, 1, mxLOGICAL_CLASS, false);
    if (array) static_cast<unsigned char*>(array->real)[0] = value ? 1 : 0;
    return array;
}

mxArray* mxCreateString(const char* text) {
    const size_t length = text ? std::strlen(text) : 0;
    mxArray* array = createArray(length ? 1 : 0, length, mxCHAR_CLASS, false);
    if (!array) return nullptr;
    auto* chars = static_cast<uint16_t*>(array->real);
    for (size_t i = 0; i < length; ++i)
        chars[i] = static_cast<unsigned char>(text[i]);
    return array;
}

void mxDestroyArray(mxArray* array) {
    if (!array) return;
    std::free(array->real);
    std::free(array->imag);
    std::free(array);
}

double* mxGetPr(const mxArray* array) { return mxInlineGetPr(array); }
double* mxGetPi(const mxArray* array) { return mxInlineGetPi(array); }
void* mxGetData(const mxArray* array) { return mxInlineGetData(array); }
mwSize mxGetM(const mxArray* array) { return mxInlineGetM(array); }
mwSize mxGetN(const mxArray* array) { return mxInlineGetN(array); }
mwSize mxGetNumberOfElements(const mxArray* array) { return mxInlineGetNumberOfElements(array); }
mxClassID mxGetClassID(const mxArray* array) { return mxInlineGetClassID(array); }
int mxIsNumeric(const mxArray* array) { return mxInlineIsNumeric(array); }
int mxIsComplex(const mxArray* array) { return mxInlineIsComplex(array); }
int mxIsDouble(const mxArray* array) { return mxInlineIsDouble(array); }
int mxIsChar(const mxArray* array) { return mxInlineIsChar(array); }
int mxIsLogical(const mxArray* array) { return mxInlineIsLogical(array); }

} // extern "C"
