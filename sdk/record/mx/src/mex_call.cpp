// MEX library: console output, the error call, the host allocator and the guarded call
// through which a host enters a plug-in.
#include "mex_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

// Raised by mexErrMsgTxt and caught by mexCallFunction; never seen outside this library.
struct MexError {
    std::string text;
};

struct PrintRoute {
    mexPrintSink sink = nullptr;
    void* context = nullptr;
};

// Per thread, so that hosts running blocks on several threads keep their consoles apart.
// Every method call reads and writes them, so they live in the static thread-local block
// (a few bytes, which the loader reserves room for even when the library is loaded late)
// and are reached without a call into the loader.
#define TAVREL_STATIC_TLS __attribute__((tls_model("initial-exec")))
thread_local TAVREL_STATIC_TLS PrintRoute print_route;
thread_local TAVREL_STATIC_TLS int call_depth = 0;
thread_local TAVREL_STATIC_TLS std::vector<void*>* call_allocations = nullptr;

void copyText(const std::string& text, char* out, size_t size) {
    if (!out || size == 0) return;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace

extern "C" {

int mexPrintf(const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) return length;
    std::string text;
    if (static_cast<size_t>(length) < sizeof small) {
        text.assign(small, static_cast<size_t>(length));
    } else {
        text.resize(static_cast<size_t>(length) + 1);
        va_start(args, format);
        std::vsnprintf(text.data(), text.size(), format, args);
        va_end(args);
        text.resize(static_cast<size_t>(length));
    }
    if (print_route.sink) {
        print_route.sink(print_route.context, text.data(), text.size());
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    return length;
}

void mexSetPrintSink(mexPrintSink sink, void* context, mexPrintSink* previous_sink,
                     void** previous_context) {
    if (previous_sink) *previous_sink = print_route.sink;
    if (previous_context) *previous_context = print_route.context;
    print_route.sink = sink;
    print_route.context = context;
}

void mexErrMsgTxt(const char* message) {
    const char* text = message ? message : "";
    if (call_depth == 0) {
        // No host call to return to: the platform ends the program with the message.
        std::fprintf(stderr, "MEX error outside a MEX call: %s\n", text);
        std::abort();
    }
    throw MexError{text};
}

void* mxCalloc(size_t count, size_t size) {
    void* memory = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    if (!memory) mexErrMsgTxt("Out of memory: mxCalloc could not allocate the requested storage");
    if (call_allocations) {
        try {
            call_allocations->push_back(memory);
        } catch (const std::bad_alloc&) {
            std::free(memory);
            mexErrMsgTxt("Out of memory: mxCalloc could not record its allocation");
        }
    }
    return memory;
}

void mxFree(void* pointer) {
    if (!pointer) return;
    if (call_allocations) {
        auto& list = *call_allocations;
        auto found = std::find(list.begin(), list.end(), pointer);
        if (found != list.end()) list.erase(found);
    }
    std::free(pointer);
}

int mexCallFunction(mexFunctionPointer function, int nlhs, mxArray* plhs[], int nrhs,
                    const mxArray* prhs[], char* error_text, size_t error_size) {
    if (error_text && error_size) error_text[0] = '\0';
    std::vector<void*> allocations;
    std::vector<void*>* outer_allocations = call_allocations;
    const bool outermost = call_depth == 0;
    if (outermost) call_allocations = &allocations;
    ++call_depth;
    int status = 0;
    try {
        function(nlhs, plhs, nrhs, prhs);
    } catch (const MexError& error) {
        copyText(error.text, error_text, error_size);
        status = 1;
    } catch (const std::bad_alloc&) {
        copyText("Out of memory", error_text, error_size);
        status = 1;
    } catch (const std::exception& error) {
        copyText(std::string("Unexpected failure in MEX call: ") + error.what(), error_text,
                 error_size);
        status = 1;
    } catch (...) {
        copyText("Unexpected failure in MEX call", error_text, error_size);
        status = 1;
    }
    --call_depth;
    if (outermost) {
        for (void* memory : allocations)
            std::free(memory);
        call_allocations = outer_allocations;
    }
    return status;
}

} // extern "C"
