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

/* Zeroed storage. Inside a MEX call the memory is reclaimed when the call returns, unless
 * freed earlier; outside a call it lives until mxFree. Failure raises a MEX error. */
void* mxCalloc(size_t count, size_t size);
void mxFree(void* pointer);

#ifdef __cplusplus
}
#endif

#endif
