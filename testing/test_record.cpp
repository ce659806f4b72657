#include "test_record.h"

#include "mex_host.h"

namespace tavrel::test {

namespace {

void appendText(void* context, const char* text, size_t length) {
    static_cast<std::string*>(context)->append(text, length);
}

// What the calling thread's blocks print while it lives.
class ConsoleCapture {
  public:
    ConsoleCapture() { mexSetPrintSink(&appendText, &text, &previous_, &previous_context_); }
    ~ConsoleCapture() { mexSetPrintSink(previous_, previous_context_, nullptr, nullptr); }
    std::string text;

  private:
    mexPrintSink previous_ = nullptr;
    void* previous_context_ = nullptr;
};

} // namespace

TestRecord::TestRecord(const ParamList& params, mdlRecordMethod initialize_sizes)
    : BlockRecord(params, "test", unwritten) {
    initialize_sizes(S());
    allocateWork();
}

std::string TestRecord::call(mdlRecordMethod method) {
    ConsoleCapture console;
    method(S());
    return std::move(console.text);
}

std::string TestRecord::outputs(mdlOutputsMethod method) {
    ConsoleCapture console;
    method(S(), 0);
    return std::move(console.text);
}

} // namespace tavrel::test
