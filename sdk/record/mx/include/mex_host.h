/* Host side of the MEX library: what an embedding program (the loader, the command-line
 * tool, the Python module, the tests) uses to call plug-ins and to collect their console. */
#ifndef TAVREL_PLATFORM_MEX_HOST_H
#define TAVREL_PLATFORM_MEX_HOST_H

#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*mexFunctionPointer)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

/* Receives console text of the calling thread; `context` is passed back unchanged. */
typedef void (*mexPrintSink)(void* context, const char* text, size_t length);

/* Routes mexPrintf of the calling thread to `sink` (null: standard output). Returns the
 * previous sink and context through the two out-pointers when they are not null. */
void mexSetPrintSink(mexPrintSink sink, void* context, mexPrintSink* previous_sink,
                     void** previous_context);

/* Calls `function` as the platform does: an error raised by mexErrMsgTxt (or any other
 * failure escaping the plug-in) comes back as a non-zero result with its text copied into
 * `error_text` (at most `error_size` bytes, NUL-terminated); mxCalloc storage of the call
 * is reclaimed when it returns. Returns 0 when the call completed. */
int mexCallFunction(mexFunctionPointer function, int nlhs, mxArray* plhs[], int nrhs,
                    const mxArray* prhs[], char* error_text, size_t error_size);

/* Live block records of this process's hosts. A host registers a record before its sizing
 * handshake and unregisters it before freeing it; the MEX entry accepts a handshake only for
 * a registered record. Registering returns 0 (and registers nothing) when out of memory. */
int mexRegisterHostRecord(const void* record);
void mexUnregisterHostRecord(const void* record);
int mexIsHostRecord(const void* record);

#ifdef __cplusplus
}
#endif

#endif
