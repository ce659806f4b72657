// The plug-ins' mexFunction with random arguments: argument and result counts, classes
// (double, single, the integers, logical, text, complex, empty and odd shapes), dimensions,
// flags, the handshake form with made-up record addresses, and method calls by any flag on a
// live record. Every call must end in a return or in the platform's error, never a crash.
#include "block_descriptions.h"
#include "block_instance.h"
#include "fuzz_input.h"
#include "fuzz_record.h"

#include <array>
#include <memory>

namespace {

using namespace tavrel;
using fuzz::FuzzInput;

const std::vector<std::string>& blocks() {
    static const auto names = [] {
        std::vector<std::string> shipped;
        for (const BlockDescription* d : host::knownBlocks())
            shipped.emplace_back(d->name);
        return shipped;
    }();
    return names;
}
constexpr double record_version = SIMSTRUCT_VERSION_LEVEL2;

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

const host::Plugin& plugin(std::size_t block) {
    static const auto plugins = [] {
        std::vector<std::shared_ptr<host::Plugin>> opened;
        for (const auto& name : blocks())
            opened.push_back(host::Plugin::open(host::findPlugin(name)));
        return opened;
    }();
    return *plugins[block];
}

Array doubles(std::size_t rows, std::size_t columns, FuzzInput& in) {
    Array array(mxCreateDoubleMatrix(rows, columns, mxREAL));
    for (std::size_t i = 0; i < rows * columns; ++i)
        mxGetPr(array.get())[i] = in.number();
    return array;
}

Array otherNumeric(FuzzInput& in) {
    static constexpr mxClassID classes[] = {mxSINGLE_CLASS, mxINT8_CLASS,   mxUINT8_CLASS,
                                            mxINT16_CLASS,  mxUINT16_CLASS, mxINT32_CLASS,
                                            mxUINT32_CLASS, mxINT64_CLASS,  mxUINT64_CLASS};
    const std::size_t rows = in.below(3), columns = in.below(3);
    Array array(
        mxCreateNumericMatrix(rows, columns, classes[in.below(std::size(classes))], mxREAL));
    auto* bytes = static_cast<std::uint8_t*>(mxGetData(array.get()));
    for (std::size_t i = 0; i < rows * columns; ++i)
        bytes[i] = in.byte(); // the first bytes
    return array;
}

// The handshake's 3-by-1 handle with made-up address halves (sometimes another version).
Array madeUpHandle(FuzzInput& in) {
    Array array(mxCreateDoubleMatrix(3, 1, mxREAL));
    double* h = mxGetPr(array.get());
    h[0] = in.number();
    h[1] = in.number();
    h[2] = in.byte() < 200 ? record_version : in.number();
    return array;
}

Array fuzzedArray(FuzzInput& in) {
    switch (in.below(9)) {
    case 0: return Array(mxCreateDoubleScalar(in.number()));
    case 1: return doubles(in.below(4), in.below(4), in);
    case 2: return Array(mxCreateDoubleMatrix(in.below(3), in.below(3), mxCOMPLEX));
    case 3: return otherNumeric(in);
    case 4: return Array(mxCreateLogicalScalar(in.byte() & 1));
    case 5: return Array(mxCreateString(in.byte() & 1 ? "0" : ""));
    case 6: return madeUpHandle(in);
    case 7: return doubles(in.byte() & 1 ? 0 : 1, in.below(8), in); // empty or a row
    default: return Array();                                        // no array at all
    }
}

// A sizes call: the usual four arguments or any other count, then dialog parameters that are
// the block's defaults with some replaced by arbitrary arrays.
void sizesCall(FuzzInput& in, std::size_t block) {
    std::vector<Array> args;
    const std::size_t leading = in.byte() < 200 ? 4 : in.below(6);
    for (std::size_t i = 0; i < leading; ++i) {
        const bool usual = in.byte() < 128;
        if (!usual)
            args.push_back(fuzzedArray(in));
        else if (i == 3)
            args.emplace_back(mxCreateDoubleScalar(0));
        else
            args.emplace_back(mxCreateDoubleMatrix(0, 0, mxREAL));
    }
    for (const auto& values : fuzz::shippedParams(blocks()[block])) {
        if (in.byte() < 16) {
            args.push_back(fuzzedArray(in));
            continue;
        }
        Array array(mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxREAL));
        std::copy(values.begin(), values.end(), mxGetPr(array.get()));
        args.push_back(std::move(array));
    }
    args.resize(in.below(args.size() + 3));
    std::vector<const mxArray*> prhs;
    for (const auto& a : args)
        prhs.push_back(a.get());
    std::array<mxArray*, 4> plhs{};
    const int nlhs = static_cast<int>(in.below(4));
    char text[256];
    mexCallFunction(plugin(block).entry(), nlhs, plhs.data(), static_cast<int>(prhs.size()),
                    prhs.data(), text, sizeof text);
    for (mxArray* a : plhs)
        mxDestroyArray(a);
}

// Method calls on a live record of this host after a real handshake: any flag array, any
// call argument.
void methodCalls(FuzzInput& in, std::size_t block) {
    fuzz::FuzzRecord record(fuzz::shippedParams(blocks()[block]), blocks()[block].c_str());
    SimStruct* S = record.S();
    mexRegisterHostRecord(S);
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(S));
    Array handle(mxCreateDoubleMatrix(3, 1, mxREAL));
    mxGetPr(handle.get())[0] = static_cast<double>(static_cast<std::uint32_t>(address));
    mxGetPr(handle.get())[1] = static_cast<double>(static_cast<std::uint32_t>(address >> 32));
    mxGetPr(handle.get())[2] = record_version;
    Array none(mxCreateDoubleMatrix(0, 0, mxREAL)), zero(mxCreateDoubleScalar(0));
    const mxArray* sizes_args[] = {none.get(), handle.get(), none.get(), zero.get()};
    std::array<mxArray*, 2> plhs{};
    char text[256];
    const bool sized = mexCallFunction(plugin(block).entry(), 1, plhs.data(), 4, sizes_args, text,
                                       sizeof text) == 0;
    mxDestroyArray(plhs[0]);
    if (sized && !record.refused()) {
        record.allocateWork();
        for (int calls = 1 + static_cast<int>(in.below(4)); calls > 0; --calls) {
            Array flag = in.byte() < 128 ? Array(mxCreateDoubleScalar(101.0 + in.below(46)))
                                         : fuzzedArray(in);
            S->sizes[SS_SIZES_CALL_ARGUMENT] = static_cast<int_T>(in.below(5)) - 2;
            ssGetRTInfo(S)->int_argument = static_cast<int_T>(in.below(5)) - 2;
            const mxArray* prhs[] = {none.get(), none.get(), none.get(), flag.get()};
            std::array<mxArray*, 2> method_plhs{nullptr, reinterpret_cast<mxArray*>(S)};
            mexCallFunction(plugin(block).entry(), -1, method_plhs.data(),
                            static_cast<int>(1 + in.below(4)), prhs, text, sizeof text);
        }
    }
    mexUnregisterHostRecord(S);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (fuzz::silenceConsole(), true);
    (void)silenced;
    FuzzInput in(data, size);
    const std::size_t block = in.below(blocks().size());
    if (in.byte() < 192)
        sizesCall(in, block);
    else
        methodCalls(in, block);
    return 0;
}
