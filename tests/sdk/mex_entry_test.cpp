// The MEX entry driven directly, with a small fake model: the dispatch of every flag, the
// sizing handshake, the sizes vector and the command-line sizes call.
#include "block_io.h"
#include "mex_entry.h"
#include "mex_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tavrel;

// What the fake model saw and did.
struct Trace {
    std::string method;
    int tid = 99;
    SimStruct* record = nullptr;
    // From the sizes call:
    bool root_is_self = false;
    int first_field = 0;
    std::string model_name, path;
    int param_count = -1;
    const mxArray* first_param = nullptr;
};
Trace trace;

void hit(const char* method, SimStruct* S) {
    trace.method = method;
    trace.record = S;
}

// Parameter 0: number of output ports; parameter 1 (if given): 1 fills the unsigned words.
void fakeSizes(SimStruct* S) {
    hit("mdlInitializeSizes", S);
    trace.root_is_self = ssGetRootSS(S) == S;
    trace.first_field = ssGetRTInfo(S) ? ssGetRTInfo(S)->first_field : 0;
    trace.model_name = ssGetModelName(S) ? ssGetModelName(S) : "";
    trace.path = ssGetPath(S) ? ssGetPath(S) : "";
    trace.param_count = ssGetSFcnParamsCount(S);
    trace.first_param = ssGetSFcnParamsCount(S) > 0 ? ssGetSFcnParam(S, 0) : nullptr;
    ssSetNumSFcnParams(S, 3);
    ssSetNumContStates(S, 5);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 2)) return;
    ssSetInputPortWidth(S, 1, 1);
    ssSetNumIWork(S, 4);
    const int outputs = truncateToInt32(paramScalar(S, 0));
    if (!ssSetNumOutputPorts(S, outputs)) return;
    for (int p = 0; p < outputs; ++p)
        ssSetOutputPortWidth(S, p, 1);
    if (paramScalar(S, 1) == 1) {
        for (int k = SS_SIZES_FIRST_UNSIGNED_WORD; k <= SS_SIZES_LAST_UNSIGNED_WORD; ++k)
            S->sizes[k] = -1 - k;
        S->sizes[SS_SIZES_OPTIONS] = INT32_MIN;
    }
}
void fakeConditions(SimStruct* S) { hit("mdlInitializeConditions", S); }
void fakeOutputs(SimStruct* S, int_T tid) {
    hit("mdlOutputs", S);
    trace.tid = tid;
}
void fakeDerivatives(SimStruct* S) { hit("mdlDerivatives", S); }

const BlockDefinition fake{
    "fake_block", {&fakeSizes, &fakeConditions, &fakeOutputs, &fakeDerivatives}, 2};

void fakeMexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    blockMexFunction(fake, nlhs, plhs, nrhs, prhs);
}

struct ArrayDeleter {
    void operator()(mxArray* a) const { mxDestroyArray(a); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

Array scalar(double v) { return Array(mxCreateDoubleScalar(v)); }
Array empty() { return Array(mxCreateDoubleMatrix(0, 0, mxREAL)); }
Array column(const std::vector<double>& values) {
    Array a(mxCreateDoubleMatrix(values.size(), 1, mxREAL));
    for (size_t i = 0; i < values.size(); ++i)
        mxGetPr(a.get())[i] = values[i];
    return a;
}
Array int32Scalar(int32_t v) {
    Array a(mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL));
    *static_cast<int32_t*>(mxGetData(a.get())) = v;
    return a;
}

// The outcome of one sizes call through the guarded entry.
struct SizesOutcome {
    std::string error; // empty when the call completed
    Array sizes;
    double at(int k) const { return mxGetPr(sizes.get())[k]; }
};

SizesOutcome callSizes(std::vector<const mxArray*> prhs, int nlhs = 1) {
    mxArray* plhs[2] = {nullptr, nullptr};
    char text[512];
    const int status = mexCallFunction(&fakeMexFunction, nlhs, plhs, static_cast<int>(prhs.size()),
                                       prhs.data(), text, sizeof text);
    return {status ? std::string(text) : std::string(), Array(plhs[0])};
}

// A record owned by the test, as a host owns it.
struct HostRecord {
    SimStruct S{};
    ssRTInfo info{};
    std::vector<ssInputPort> inputs;
    std::vector<ssOutputPort> outputs;
    std::string name;
    explicit HostRecord(std::string model_name = "fake_block") : name(std::move(model_name)) {
        S.model_name = name.c_str();
        S.path = "model/fake";
        S.root = &S;
        S.rt_info = &info;
        info.status = SS_STATUS_RUNNING;
        S.port_info.register_num_input_ports = &registerInputs;
        S.port_info.register_num_input_ports_argument = this;
        S.port_info.register_num_output_ports = &registerOutputs;
        S.port_info.register_num_output_ports_argument = this;
        mexRegisterHostRecord(&S);
    }
    ~HostRecord() { mexUnregisterHostRecord(&S); }
    HostRecord(const HostRecord&) = delete;
    HostRecord& operator=(const HostRecord&) = delete;
    static int_T registerInputs(void* self, int_T n) {
        auto* r = static_cast<HostRecord*>(self);
        r->inputs.assign(static_cast<size_t>(n), ssInputPort{});
        r->S.port_info.inputs = r->inputs.data();
        r->S.sizes[SS_SIZES_NUM_INPUT_PORTS] = n;
        return 1;
    }
    static int_T registerOutputs(void*, int_T) { return 0; } // refuses every count
    // The handshake's handle: the address halves as signed (or unsigned) 32-bit values.
    Array handle(bool unsigned_halves = false) const {
        const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&S));
        const auto low = static_cast<uint32_t>(address),
                   high = static_cast<uint32_t>(address >> 32);
        if (unsigned_halves) return column({double(low), double(high), 8480229.0});
        return column({double(int32_t(low)), double(int32_t(high)), 8480229.0});
    }
};

SizesOutcome handshake(const HostRecord& record, bool unsigned_halves = false) {
    Array none = empty(), h = record.handle(unsigned_halves), flag = scalar(0);
    return callSizes({none.get(), h.get(), none.get(), flag.get()});
}

// A method call from the host: the record in left-hand slot 1, the flag as argument 3.
void callMethod(SimStruct* S, const mxArray* flag, int nrhs = 4) {
    mxArray* plhs[2] = {nullptr, reinterpret_cast<mxArray*>(S)};
    const mxArray* prhs[4] = {nullptr, nullptr, nullptr, flag};
    char text[256];
    ASSERT_EQ(mexCallFunction(&fakeMexFunction, -1, plhs, nrhs, prhs, text, sizeof text), 0);
}
void callMethod(SimStruct* S, double flag) {
    Array f = scalar(flag);
    callMethod(S, f.get());
}

class BoundRecord : public ::testing::Test {
  protected:
    HostRecord record;
    SimStruct* S = &record.S;
    double sample = -1, offset = -1;
    void SetUp() override {
        trace = {};
        S->sample_time_info.sample_times = &sample;
        S->sample_time_info.offset_times = &offset;
        ASSERT_EQ(handshake(record).error, "");
    }
    // Calls the flag on a fresh error state; returns the error status (empty: none).
    std::string dispatch(double flag) {
        S->error_status = nullptr;
        record.info.status = SS_STATUS_RUNNING;
        trace.method.clear();
        callMethod(S, flag);
        return S->error_status ? S->error_status : "";
    }
};

constexpr const char* invalid = "Invalid flag encountered in simulink";
constexpr const char* variable_hit =
    "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
    "mdlGetTimeOfNextVarHit routine";
constexpr const char* zero_crossings =
    "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
    "mdlZeroCrossings routine";

std::string unexpected(const char* method) { return std::string("Unexpected call to ") + method; }

// Every flag from 100 to 146 on a record that holds only the block's own methods.
TEST_F(BoundRecord, EveryFlagCallsItsMethodOrReportsItsMessage) {
    const std::map<int, std::string> calls = {
        {102, "mdlInitializeConditions"}, {104, "mdlOutputs"}, {106, "mdlDerivatives"}};
    const std::map<int, std::string> messages = {
        {103, variable_hit},
        {108, zero_crossings},
        {111, unexpected("mdlSetWorkWidths")},
        {112, unexpected("mdlCheckParameters")},
        {113, unexpected("mdlSetInputPortDataType")},
        {114, unexpected("mdlSetOutputPortDataType")},
        {115, unexpected("mdlSetInputPortWidth")},
        {116, unexpected("mdlSetOutputPortWidth")},
        {120, unexpected("mdlSetInputPortComplexSignal")},
        {121, unexpected("mdlSetOutputPortComplexSignal")},
        {122, unexpected("mdlSetInputPortSampleTime")},
        {123, unexpected("mdlSetOutputPortSampleTime")},
        {126, unexpected("mdlSetInputPortDimensionInfo")},
        {127, unexpected("mdlSetOutputPortDimensionInfo")},
        {128, unexpected("mdlSetInputPortFrameData")},
        {131, unexpected("mdlSetDefaultPortDimensionInfo")},
        {132, unexpected("mdlSetDefaultPortDataTypes")},
        {133, unexpected("mdlSetDefaultPortComplexSignals")},
        {142, unexpected("mdlInitializePropagationPass")},
        {144, "Unexpected call to mdlGetSimState (MDL_SIM_STATE not defined)"},
        {145, "Unexpected call to mdlSetSimState (MDL_SIM_STATE not defined)"}};
    for (int flag = 100; flag <= 146; ++flag) {
        SCOPED_TRACE("flag " + std::to_string(flag));
        const std::string status = dispatch(flag);
        if (calls.count(flag)) {
            EXPECT_EQ(status, "");
            EXPECT_EQ(trace.method, calls.at(flag));
            EXPECT_EQ(trace.record, S);
        } else if (flag == 101 || flag == 107) {
            EXPECT_EQ(status, "");
            EXPECT_EQ(trace.method, "");
        } else {
            EXPECT_EQ(status, messages.count(flag) ? messages.at(flag) : invalid);
            EXPECT_EQ(record.info.status & SS_STATUS_RUNNING, 0u);
            EXPECT_EQ(trace.method, "");
        }
    }
}

TEST_F(BoundRecord, SampleTimesAreTheSharedMethod) {
    S->flags = SS_FLAG_SAMPLE_TIME_INHERITANCE_PENDING;
    EXPECT_EQ(dispatch(101), "");
    EXPECT_EQ(sample, 0.0);
    EXPECT_EQ(offset, 0.0);
    EXPECT_EQ(S->flags, SS_FLAG_SAMPLE_TIME_INHERITANCE_SET);
}

TEST_F(BoundRecord, OutputsTaskIsMinusTwoOnlyWhenTheCallArgumentIsMinusTwo) {
    for (int argument : {-2, 0, 5, -1}) {
        ssSetCallArgument(S, argument);
        dispatch(104);
        EXPECT_EQ(trace.tid, argument == -2 ? -2 : 0) << argument;
    }
}

TEST_F(BoundRecord, ConditionsAndDerivativesNeedTheirBoundEntries) {
    S->methods.mdlInitializeConditions = nullptr;
    S->methods.mdlDerivatives = nullptr;
    EXPECT_EQ(dispatch(102), unexpected("mdlInitializeConditions"));
    EXPECT_EQ(dispatch(106), unexpected("mdlDerivatives"));
    EXPECT_EQ(trace.method, "");
}

// Entries the host puts into the record are called with the call argument and the run
// information's arguments.
struct HostEntryCall {
    std::string method;
    int port = 0, argument = 0;
    void* pointer = nullptr;
    double sample = 0, offset = 0;
};
HostEntryCall entry_call;

TEST_F(BoundRecord, HostEntriesReceiveTheirArguments) {
    ssExtensionMethods extension{};
    S->extension = &extension;
    ssSetCallArgument(S, 2);
    record.info.int_argument = 7;
    int dims = 0;
    record.info.pointer_argument = &dims;
    record.info.sample_time_argument = 0.25;
    record.info.offset_time_argument = 0.5;
    S->methods.mdlSetWorkWidths = [](SimStruct*) { entry_call = {"work widths"}; };
    S->methods.mdlSetInputPortDataType = [](SimStruct*, int_T p, int_T a) {
        entry_call = {"input data type", p, a};
    };
    S->methods.input_port_size.width = [](SimStruct*, int_T p, int_T a) {
        entry_call = {"input width", p, a};
    };
    S->methods.mdlSetOutputPortSampleTime = [](SimStruct*, int_T p, real_T st, real_T ot) {
        entry_call = {"output sample time", p, 0, nullptr, st, ot};
    };
    extension.mdlInitializePropagationPass = [](SimStruct*, int_T a) {
        entry_call = {"propagation", 0, a};
    };
    extension.mdlSetDefaultPortDataTypes = [](SimStruct*) { entry_call = {"default types"}; };

    EXPECT_EQ(dispatch(111), "");
    EXPECT_EQ(entry_call.method, "work widths");
    EXPECT_EQ(dispatch(113), "");
    EXPECT_EQ(entry_call.method, "input data type");
    EXPECT_EQ(entry_call.port, 2);
    EXPECT_EQ(entry_call.argument, 7);
    EXPECT_EQ(dispatch(115), "");
    EXPECT_EQ(entry_call.method, "input width");
    EXPECT_EQ(dispatch(123), "");
    EXPECT_EQ(entry_call.method, "output sample time");
    EXPECT_EQ(entry_call.sample, 0.25);
    EXPECT_EQ(entry_call.offset, 0.5);
    EXPECT_EQ(dispatch(142), "");
    EXPECT_EQ(entry_call.method, "propagation");
    EXPECT_EQ(entry_call.argument, 2);
    EXPECT_EQ(dispatch(132), "");
    EXPECT_EQ(entry_call.method, "default types");

    // With bit 0x1 the port-size entries hold dimension methods: the width flag is refused,
    // the dimension flag gets the run information's pointer.
    S->flags |= SS_FLAG_PORT_DIMENSION_METHODS;
    S->methods.input_port_size.dimension_info = [](SimStruct*, int_T p, void* d) {
        entry_call = {"input dimensions", p, 0, d};
    };
    EXPECT_EQ(dispatch(115), unexpected("mdlSetInputPortWidth"));
    EXPECT_EQ(dispatch(126), "");
    EXPECT_EQ(entry_call.method, "input dimensions");
    EXPECT_EQ(entry_call.pointer, &dims);
    S->flags &= ~SS_FLAG_PORT_DIMENSION_METHODS;
    EXPECT_EQ(dispatch(126), unexpected("mdlSetInputPortDimensionInfo"));
}

TEST_F(BoundRecord, ErrorsGoToTheRootRecord) {
    HostRecord child;
    child.S.root = S;
    child.S.rt_info = &child.info;
    child.info.status = SS_STATUS_RUNNING;
    callMethod(&child.S, 103);
    EXPECT_STREQ(S->error_status, variable_hit);
    EXPECT_EQ(record.info.status & SS_STATUS_RUNNING, 0u);
    EXPECT_EQ(child.S.error_status, nullptr);
    EXPECT_EQ(child.info.status, SS_STATUS_RUNNING);
}

TEST_F(BoundRecord, FlagsThatAreNoInt32AreInvalid) {
    EXPECT_EQ(dispatch(104.7), ""); // truncated to 104
    EXPECT_EQ(trace.method, "mdlOutputs");
    for (double flag : {std::nan(""), double(INFINITY), -double(INFINITY), 4294967400.0, -3e9}) {
        EXPECT_EQ(dispatch(flag), invalid) << flag;
        EXPECT_EQ(trace.method, "");
    }
    // An integer-typed flag is read as an integer; text, logical and a missing flag are not
    // numbers.
    Array int_flag = int32Scalar(106), text = Array(mxCreateString("h")),
          logical = Array(mxCreateLogicalScalar(1)), f = scalar(104);
    callMethod(S, int_flag.get());
    EXPECT_EQ(trace.method, "mdlDerivatives");
    for (const mxArray* flag : {text.get(), logical.get()}) {
        trace.method.clear();
        S->error_status = nullptr;
        callMethod(S, flag);
        EXPECT_STREQ(S->error_status, invalid);
        EXPECT_EQ(trace.method, "");
    }
    S->error_status = nullptr;
    callMethod(S, f.get(), 3);
    EXPECT_STREQ(S->error_status, invalid);
}

TEST(Handshake, BindsTheMethodsAndSizesTheHostRecord) {
    for (bool unsigned_halves : {false, true}) {
        HostRecord record;
        const SizesOutcome outcome = handshake(record, unsigned_halves);
        ASSERT_EQ(outcome.error, "");
        const ssModelMethods& m = record.S.methods;
        EXPECT_EQ(m.mdlInitializeSizes, &fakeSizes);
        EXPECT_EQ(m.mdlInitializeSampleTimes, &mdlInitializeSampleTimes);
        EXPECT_EQ(m.mdlInitializeConditions, &fakeConditions);
        EXPECT_EQ(m.mdlOutputs, &fakeOutputs);
        EXPECT_EQ(m.mdlDerivatives, &fakeDerivatives);
        EXPECT_EQ(m.mdlTerminate, &mdlTerminate);
        EXPECT_EQ(record.S.sizes[SS_SIZES_VERSION], 8480229);
        EXPECT_EQ(outcome.at(0), 5);
        EXPECT_EQ(outcome.at(3), 2);
        EXPECT_EQ(outcome.at(2), 0); // the record refused the output count
        EXPECT_EQ(outcome.at(23), 8192);

        // The two error stubs report as the dispatch does.
        m.mdlZeroCrossings(&record.S);
        EXPECT_STREQ(record.S.error_status, zero_crossings);
        m.mdlGetTimeOfNextVarHit(&record.S);
        EXPECT_STREQ(record.S.error_status, variable_hit);
        EXPECT_EQ(record.info.status & SS_STATUS_RUNNING, 0u);
    }
}

struct Announcement {
    SimStruct* S = nullptr;
    int code = 0, argument = 0;
    void* data = &trace;
};
Announcement announcement;

TEST(Handshake, AnnouncesTheSizesCallToAHostWithAGenericFunction) {
    HostRecord record;
    record.info.generic_host_function = [](SimStruct* S, int_T code, int_T arg, void* data) {
        announcement = {S, code, arg, data};
    };
    announcement = {};
    ASSERT_EQ(handshake(record).error, "");
    EXPECT_EQ(announcement.S, nullptr); // no host-reserved pointer: no announcement
    int reserved = 0;
    record.S.host_reserved = &reserved;
    ASSERT_EQ(handshake(record).error, "");
    EXPECT_EQ(announcement.S, &record.S);
    EXPECT_EQ(announcement.code, 280);
    EXPECT_EQ(announcement.argument, 1);
    EXPECT_EQ(announcement.data, nullptr);
}

TEST(Handshake, RefusesARecordOfAnotherNameWithABoundedMessage) {
    HostRecord other("other_block");
    EXPECT_EQ(handshake(other).error,
              "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME "
              "fake_block\", whereas name of the S-function MEX file is \"other_block\". The "
              "source needs to be updated");
    EXPECT_EQ(other.S.methods.mdlOutputs, nullptr);

    HostRecord huge(std::string(100000, 'x'));
    const std::string error = handshake(huge).error;
    EXPECT_LE(error.size(), 255u);
    EXPECT_NE(error.find("file is \"" + std::string(64, 'x') + "...\""), std::string::npos);
    EXPECT_NE(error.find("The source needs to be updated"), std::string::npos);
}

// Whatever the handle names, only a registered record is touched: made-up addresses, and a
// record the host has already destroyed, are refused without a dereference.
TEST(Handshake, RefusesAnInvalidRecordReference) {
    Array none = empty(), flag = scalar(0);
    auto gone = std::make_unique<HostRecord>();
    const Array gone_handle = gone->handle();
    const double* gone_halves = mxGetPr(gone_handle.get());
    gone.reset();
    const std::vector<std::vector<double>> handles = {
        {0.0, 0}, {std::nan(""), 0}, {1e12, 0}, {1, 2}, {-4, -1}, {gone_halves[0], gone_halves[1]}};
    for (const auto& halves : handles) {
        Array handle = column({halves[0], halves[1], 8480229.0});
        EXPECT_EQ(callSizes({none.get(), handle.get(), none.get(), flag.get()}).error,
                  "MEX level2 S-function \"fake_block\" was given an invalid block record by the "
                  "host");
    }
}

// Argument checks of a sizes call, in order.
TEST(SizesCall, ChecksItsArgumentsInOrder) {
    const std::string banner = "MEX level2 S-function \"fake_block\"";
    Array none = empty(), zero = scalar(0), params = scalar(3);
    EXPECT_EQ(callSizes({none.get(), none.get(), none.get()}, 2).error,
              banner + " must be called with at least 4 right hand arguments");
    EXPECT_EQ(callSizes({none.get(), none.get(), none.get(), zero.get()}, 2).error,
              banner + " called with too many left hand arguments");

    const std::string not_integer =
        "The 4th right hand argument, FLAG, passed to " + banner + " must be an integer";
    Array half = scalar(1.5), pair(mxCreateDoubleMatrix(1, 2, mxREAL)),
          complex(mxCreateDoubleMatrix(1, 1, mxCOMPLEX)), text(mxCreateString("0")),
          logical(mxCreateLogicalScalar(0)), nan = scalar(std::nan("")), big = scalar(3e9),
          infinite = scalar(INFINITY);
    for (const mxArray* flag : {half.get(), pair.get(), complex.get(), text.get(), logical.get(),
                                nan.get(), big.get(), infinite.get()})
        EXPECT_EQ(callSizes({none.get(), none.get(), none.get(), flag}).error, not_integer);

    Array three = scalar(3);
    EXPECT_EQ(callSizes({none.get(), none.get(), none.get(), three.get()}).error,
              "Invalid flag passed to " + banner);
    // An integer-typed zero is a valid flag.
    Array int_zero = int32Scalar(0), wide = scalar(1);
    EXPECT_EQ(
        callSizes({none.get(), none.get(), none.get(), int_zero.get(), params.get(), wide.get()})
            .error,
        "");
}

TEST(SizesCall, CommandLineRecordIsMadeFromTheArguments) {
    trace = {};
    Array none = empty(), zero = scalar(0), outputs = scalar(3), p1 = scalar(0), p2 = scalar(0);
    const SizesOutcome outcome = callSizes(
        {none.get(), none.get(), none.get(), zero.get(), outputs.get(), p1.get(), p2.get()}, 0);
    ASSERT_EQ(outcome.error, "");
    EXPECT_TRUE(trace.root_is_self);
    EXPECT_EQ(trace.first_field, 1);
    EXPECT_EQ(trace.model_name, "fake_block");
    EXPECT_EQ(trace.path, "fake_block");
    EXPECT_EQ(trace.param_count, 3);
    EXPECT_EQ(trace.first_param, outputs.get()); // the handles themselves
    const std::vector<double> expected = {5, 0, 3, 2, 0, 0, 0, 3, 4};
    for (int k = 0; k < 40; ++k) {
        const double want = k < 9 ? expected[size_t(k)] : k == 19 ? 8480229 : k == 23 ? 8192 : 0;
        EXPECT_EQ(outcome.at(k), want) << "element " << k;
    }
}

TEST(SizesCall, UnsignedWordsAndOptionsAreConvertedAsUnsigned) {
    Array none = empty(), zero = scalar(0), outputs = scalar(1), wide = scalar(1);
    const SizesOutcome outcome =
        callSizes({none.get(), none.get(), none.get(), zero.get(), outputs.get(), wide.get()});
    ASSERT_EQ(outcome.error, "");
    for (int k = 15; k <= 18; ++k)
        EXPECT_EQ(outcome.at(k), 4294967296.0 - 1 - k);
    EXPECT_EQ(outcome.at(23), 2147483648.0 + 8192);
}

TEST(SizesCall, ANegativePortCountIsRefusedAndAHugeOneIsAnError) {
    Array none = empty(), zero = scalar(0), outputs = scalar(-4), p = scalar(0);
    const SizesOutcome outcome =
        callSizes({none.get(), none.get(), none.get(), zero.get(), outputs.get(), p.get()});
    ASSERT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.at(2), 0);
    EXPECT_EQ(outcome.at(3), 2);

    Array huge = scalar(2147483647);
    EXPECT_EQ(
        callSizes({none.get(), none.get(), none.get(), zero.get(), huge.get(), p.get()}).error,
        "MEX level2 S-function \"fake_block\" declares 2147483647 output ports; at most "
        "1048576 are supported");
}

TEST(SizesCall, CommandLineParametersMustBeEnoughRealDoubleArrays) {
    const std::string banner = "MEX level2 S-function \"fake_block\"";
    Array none = empty(), zero = scalar(0), p = scalar(1);
    EXPECT_EQ(callSizes({none.get(), none.get(), none.get(), zero.get(), p.get()}).error,
              banner + " needs at least 2 dialog parameters, but 1 were given");
    Array integer = int32Scalar(1), text(mxCreateString("abc")), logical(mxCreateLogicalScalar(1)),
          complex(mxCreateDoubleMatrix(1, 1, mxCOMPLEX));
    for (const mxArray* bad : {integer.get(), text.get(), logical.get(), complex.get()})
        EXPECT_EQ(callSizes({none.get(), none.get(), none.get(), zero.get(), p.get(), p.get(), bad})
                      .error,
                  "Dialog parameter 3 (right hand argument 7) passed to " + banner +
                      " must be a real double array");
}

} // namespace
