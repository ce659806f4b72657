#include "mex_protocol.h"

#include <algorithm>

namespace tavrel::host {

namespace {

ArrayPtr doubleMatrix(std::size_t rows, std::size_t columns) {
    ArrayPtr array(mxCreateDoubleMatrix(rows, columns, mxREAL));
    if (!array) throw HostError("out of memory creating an argument array");
    return array;
}

void appendText(void* context, const char* text, std::size_t length) {
    static_cast<std::string*>(context)->append(text, length);
}

} // namespace

ArrayPtr scalarArray(double value) {
    ArrayPtr array = doubleMatrix(1, 1);
    mxGetPr(array.get())[0] = value;
    return array;
}

ArrayPtr emptyArray() { return doubleMatrix(0, 0); }

ArrayPtr rowVectorArray(const std::vector<double>& values) {
    ArrayPtr array = doubleMatrix(values.empty() ? 0 : 1, values.size());
    std::copy(values.begin(), values.end(), mxGetPr(array.get()));
    return array;
}

ArrayPtr columnVectorArray(const std::vector<double>& values) {
    ArrayPtr array = doubleMatrix(values.size(), values.empty() ? 0 : 1);
    std::copy(values.begin(), values.end(), mxGetPr(array.get()));
    return array;
}

ConsoleCapture::ConsoleCapture(std::string& into) {
    mexSetPrintSink(&appendText, &into, &previous_, &previous_context_);
}

ConsoleCapture::~ConsoleCapture() {
    mexSetPrintSink(previous_, previous_context_, nullptr, nullptr);
}

std::string callEntry(mexFunctionPointer entry, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]) {
    char text[1024];
    if (mexCallFunction(entry, nlhs, plhs, nrhs, prhs, text, sizeof text) == 0) return {};
    return text[0] ? std::string(text) : std::string("unknown failure in the plug-in");
}

RecordRegistration::~RecordRegistration() {
    if (record_) mexUnregisterHostRecord(record_);
}

void RecordRegistration::hold(const SimStruct* record) {
    if (record_) mexUnregisterHostRecord(record_);
    record_ = nullptr;
    if (!mexRegisterHostRecord(record)) throw HostError("out of memory registering a block record");
    record_ = record;
}

SizesVector takeSizesVector(mxArray* returned) {
    ArrayPtr vector(returned);
    const double* data = mxGetPr(vector.get());
    if (!data || mxGetNumberOfElements(vector.get()) != SS_SIZES_COUNT)
        throw HostError("the sizes call did not return a 40-element sizes vector");
    SizesVector sizes;
    std::copy(data, data + SS_SIZES_COUNT, sizes.begin());
    return sizes;
}

} // namespace tavrel::host
