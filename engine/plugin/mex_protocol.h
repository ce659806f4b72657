// Pieces of the MEX calling protocol that the plug-in loader and the block instances share:
// argument arrays, console capture and the guarded call into a plug-in.
#pragma once

#include "block_instance.h"

#include <string>
#include <vector>

namespace tavrel::host {

ArrayPtr scalarArray(double value);
ArrayPtr emptyArray();
ArrayPtr rowVectorArray(const std::vector<double>& values); // no values: a 0-by-0 array
ArrayPtr columnVectorArray(const std::vector<double>& values);

// Routes the console of the calling thread into `into` while it lives.
class ConsoleCapture {
  public:
    explicit ConsoleCapture(std::string& into);
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  private:
    mexPrintSink previous_ = nullptr;
    void* previous_context_ = nullptr;
};

// Calls a plug-in's mexFunction as the platform does; returns the error it raised (through
// mexErrMsgTxt or any other failure), or an empty text when the call completed.
std::string callEntry(mexFunctionPointer entry, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]);

// The sizes vector a sizes call returned (and releases it).
SizesVector takeSizesVector(mxArray* returned);

} // namespace tavrel::host
