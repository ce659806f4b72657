/* Array library of the block host: real and complex numeric matrices, text and logical
 * arrays, and the host allocator. Plug-ins link this library as a MEX file links the
 * platform's array library; one copy serves the whole host process. */
#ifndef TAVREL_PLATFORM_MATRIX_H
#define TAVREL_PLATFORM_MATRIX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

/* The versioned name is the one plug-ins import, as with the platform's own headers. */
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_700

mxArray* mxCreateDoubleMatrix_700(mwSize m, mwSize n, mxComplexity complexity);
mxArray* mxCreateDoubleScalar(double value);
mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity complexity);
mxArray* mxCreateLogicalScalar(int value);
mxArray* mxCreateString(const char* text);
void mxDestroyArray(mxArray* array);

double* mxGetPr(const mxArray* array);
double* mxGetPi(const mxArray* array);
void* mxGetData(const mxArray* array);
mwSize mxGetM(const mxArray* array);
mwSize mxGetN(const mxArray* array);
mwSize mxGetNumberOfElements(const mxArray* array);
mxClassID mxGetClassID(const mxArray* array);
int mxIsNumeric(const mxArray* array);
int mxIsComplex(const mxArray* array);
int mxIsDouble(const mxArray* array);
int mxIsChar(const mxArray* array);
int mxIsLogical(const mxArray* array);

/* The array record. Blocks read their parameters at every method call, so the queries above
 * are also defined here inline over this record: code built with this header reads an array
 * without a call into the library, and the library still exports every query for plug-ins
 * built against headers without them. */
struct mxArray_tag {
    mxClassID class_id;
    mwSize rows;
    mwSize columns;
    void* real;   /* element data (doubles for mxDOUBLE_CLASS) */
    double* imag; /* imaginary parts of a complex double matrix, else null */
};

static inline int mxInlineIsNumericClass(mxClassID id) {
    return id >= mxDOUBLE_CLASS && id <= mxUINT64_CLASS;
}
static inline double* mxInlineGetPr(const mxArray* array) {
    return array && array->class_id == mxDOUBLE_CLASS ? (double*)array->real : NULL;
}
static inline double* mxInlineGetPi(const mxArray* array) { return array ? array->imag : NULL; }
static inline void* mxInlineGetData(const mxArray* array) { return array ? array->real : NULL; }
static inline mwSize mxInlineGetM(const mxArray* array) { return array ? array->rows : 0; }
static inline mwSize mxInlineGetN(const mxArray* array) { return array ? array->columns : 0; }
static inline mwSize mxInlineGetNumberOfElements(const mxArray* array) {
    return array ? array->rows * array->columns : 0;
}
static inline mxClassID mxInlineGetClassID(const mxArray* array) {
    return array ? array->class_id : mxUNKNOWN_CLASS;
}
static inline int mxInlineIsNumeric(const mxArray* array) {
    return array && mxInlineIsNumericClass(array->class_id);
}
static inline int mxInlineIsComplex(const mxArray* array) { return array && array->imag != NULL; }
static inline int mxInlineIsDouble(const mxArray* array) {
    return array && array->class_id == mxDOUBLE_CLASS;
}
static inline int mxInlineIsChar(const mxArray* array) {
    return array && array->class_id == mxCHAR_CLASS;
}
static inline int mxInlineIsLogical(const mxArray* array) {
    return array && array->class_id == mxLOGICAL_CLASS;
}

/* Calls use the inline definitions; the names alone (taking an address) still denote the
 * library's exports. The library itself defines the exports from the inline definitions. */
#ifndef TAVREL_MX_DEFINES_EXPORTS
#define mxGetPr(array) mxInlineGetPr(array)
#define mxGetPi(array) mxInlineGetPi(array)
#define mxGetData(array) mxInlineGetData(array)
#define mxGetM(array) mxInlineGetM(array)
#define mxGetN(array) mxInlineGetN(array)
#define mxGetNumberOfElements(array) mxInlineGetNumberOfElements(array)
#define mxGetClassID(array) mxInlineGetClassID(array)
#define mxIsNumeric(array) mxInlineIsNumeric(array)
#define mxIsComplex(array) mxInlineIsComplex(array)
#define mxIsDouble(array) mxInlineIsDouble(array)
#define mxIsChar(array) mxInlineIsChar(array)
#define mxIsLogical(array) mxInlineIsLogical(array)
#endif

/* Zeroed storage. Inside a MEX call the memory is reclaimed when the call returns, unless
 * freed earlier; outside a call it lives until mxFree. Failure raises a MEX error. */
void* mxCalloc(size_t count, size_t size);
void mxFree(void* pointer);

#ifdef __cplusplus
}
#endif

#endif
