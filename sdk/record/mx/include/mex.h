/* MEX library of the block host: the console and the error call that plug-ins use. */
#ifndef TAVREL_PLATFORM_MEX_H
#define TAVREL_PLATFORM_MEX_H

#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

/* printf-style text to the host console. */
int mexPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* Reports the text as the error of the current MEX call and does not return. */
#ifdef __cplusplus
[[noreturn]]
#endif
void mexErrMsgTxt(const char* message);

/* The one export of every plug-in. */
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

#ifdef __cplusplus
}
#endif

#endif
