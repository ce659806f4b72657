/* Block record of the simulation host and the operations through which a block reaches it.
 *
 * One record exists per block instance. The host owns it together with the parameter
 * arrays, the port signals and the state, derivative and work vectors; the block's methods
 * only read and write through the operations at the end of this header. The record is also
 * what the MEX entry of every plug-in fills on the host's sizing handshake.
 *
 * This header uses only the array API (mxArray, mxGetPr, ...), so that the same block
 * sources build against our array library and against another MEX host's. */
#ifndef TAVREL_PLATFORM_SIMSTRUC_H
#define TAVREL_PLATFORM_SIMSTRUC_H

#include "mex.h"

#include <stdint.h>

typedef double real_T;
typedef int int_T;
typedef unsigned int uint_T;
typedef int32_t int32_T;
typedef uint32_t uint32_T;
typedef unsigned char boolean_T;

/* One pointer per input element; every block reads element 0 through it. */
typedef const real_T* const* InputRealPtrsType;

typedef struct SimStruct_tag SimStruct;

#define CONTINUOUS_SAMPLE_TIME 0.0

/* Version stamp written into every record that passes through a sizes call; the MEX entry
 * recognises the host's handshake by it. */
#define SIMSTRUCT_VERSION_LEVEL2 8480229

/* The sizes area: 40 consecutive signed 32-bit fields. */
enum ssSizesField {
    SS_SIZES_NUM_CONT_STATES = 0,
    SS_SIZES_NUM_DISC_STATES = 1,
    SS_SIZES_NUM_OUTPUT_PORTS = 2,
    SS_SIZES_NUM_INPUT_PORTS = 3,
    SS_SIZES_CALL_ARGUMENT = 4, /* port index, propagation argument or outputs task */
    SS_SIZES_NUM_SFCN_PARAMS = 7,
    SS_SIZES_NUM_IWORK = 8,
    SS_SIZES_FIRST_UNSIGNED_WORD = 15, /* 15 to 18: four unsigned words no block sets */
    SS_SIZES_LAST_UNSIGNED_WORD = 18,
    SS_SIZES_VERSION = 19,
    SS_SIZES_OPTIONS = 23, /* unsigned options word */
    SS_SIZES_COUNT = 40
};

/* The flag of a method call (right-hand argument 3 when the left-hand count is negative):
 * which method of the block runs. The MEX entry answers every flag from SS_CALL_FIRST to
 * SS_CALL_LAST; a host drives the five named ones. */
enum ssMethodFlag {
    SS_CALL_INITIALIZE_SAMPLE_TIMES = 101,
    SS_CALL_INITIALIZE_CONDITIONS = 102,
    SS_CALL_OUTPUTS = 104,
    SS_CALL_DERIVATIVES = 106,
    SS_CALL_TERMINATE = 107,
    SS_CALL_FIRST = 101,
    SS_CALL_LAST = 145
};

/* Bits of the flags word. */
#define SS_FLAG_PORT_DIMENSION_METHODS 0x1u /* port-size entries take dimension info */
#define SS_FLAG_PORTS_REGISTERED 0x2u       /* set by the port-count registrations */
#define SS_FLAG_SAMPLE_TIME_INHERITANCE_SET 0x800u
#define SS_FLAG_SAMPLE_TIME_INHERITANCE_PENDING 0x1000u

/* Bit of the run-information status word that an error report clears. */
#define SS_STATUS_RUNNING 0x1000u

/* Options bit set on every sizes call. */
#define SS_OPTION_SIZES_ANSWERED 0x2000u

/* Code with which the sizes call announces itself to the host's generic function. */
#define SS_GENERIC_SIZES_CALL 280

typedef void (*ssGenericHostFcn)(SimStruct* S, int_T code, int_T argument, void* data);

/* Run-information record. */
typedef struct ssRTInfo_tag {
    int_T first_field;                      /* 1 in a record made by a command-line call */
    uint32_T status;                        /* bit SS_STATUS_RUNNING cleared on an error report */
    int_T int_argument;                     /* data type, width or complexity of a port call */
    void* pointer_argument;                 /* port dimension information of a port call */
    real_T sample_time_argument;            /* sample time of a port sample-time call */
    real_T offset_time_argument;            /* offset time of a port sample-time call */
    ssGenericHostFcn generic_host_function; /* optional */
} ssRTInfo;

typedef struct ssInputPort_tag {
    int_T width;
    int_T direct_feed_through;
    InputRealPtrsType signal_ptrs;
    int_T data_type;
    int_T complex_signal;
} ssInputPort;

typedef struct ssOutputPort_tag {
    int_T width;
    real_T* signal;
    int_T data_type;
    int_T complex_signal;
} ssOutputPort;

/* Registration operation behind ssSetNumInputPorts and ssSetNumOutputPorts: returns
 * nonzero when the count is accepted. `argument` is the registration argument. */
typedef int_T (*ssPortCountRegistration)(void* argument, int_T count);

typedef void (*mdlRecordMethod)(SimStruct* S);
typedef void (*mdlOutputsMethod)(SimStruct* S, int_T tid);
typedef void (*mdlPortIntMethod)(SimStruct* S, int_T port, int_T argument);
typedef void (*mdlPortPointerMethod)(SimStruct* S, int_T port, void* dimension_info);
typedef void (*mdlPortSampleTimeMethod)(SimStruct* S, int_T port, real_T sample_time,
                                        real_T offset_time);
typedef void (*mdlIntMethod)(SimStruct* S, int_T argument);

/* A port-size entry holds a width method or, with SS_FLAG_PORT_DIMENSION_METHODS set, a
 * dimension-information method. */
typedef union ssPortSizeMethod_tag {
    mdlPortIntMethod width;
    mdlPortPointerMethod dimension_info;
} ssPortSizeMethod;

typedef struct ssModelMethods_tag {
    /* The block's eight, bound by the MEX entry on the host's handshake. */
    mdlRecordMethod mdlInitializeSizes;
    mdlRecordMethod mdlInitializeSampleTimes;
    mdlRecordMethod mdlInitializeConditions;
    mdlRecordMethod mdlGetTimeOfNextVarHit;
    mdlOutputsMethod mdlOutputs;
    mdlRecordMethod mdlDerivatives;
    mdlRecordMethod mdlZeroCrossings;
    mdlRecordMethod mdlTerminate;
    /* Optional entries for the other methods of the dispatch table. */
    mdlRecordMethod mdlSetWorkWidths;
    mdlRecordMethod mdlCheckParameters;
    mdlPortIntMethod mdlSetInputPortDataType;
    mdlPortIntMethod mdlSetOutputPortDataType;
    ssPortSizeMethod input_port_size;
    ssPortSizeMethod output_port_size;
    mdlPortIntMethod mdlSetInputPortComplexSignal;
    mdlPortIntMethod mdlSetOutputPortComplexSignal;
    mdlPortSampleTimeMethod mdlSetInputPortSampleTime;
    mdlPortSampleTimeMethod mdlSetOutputPortSampleTime;
} ssModelMethods;

/* Extension record: entries of the methods of flags 128, 131, 132, 133 and 142. */
typedef struct ssExtensionMethods_tag {
    mdlPortIntMethod mdlSetInputPortFrameData;
    mdlRecordMethod mdlSetDefaultPortDimensionInfo;
    mdlRecordMethod mdlSetDefaultPortDataTypes;
    mdlRecordMethod mdlSetDefaultPortComplexSignals;
    mdlIntMethod mdlInitializePropagationPass;
} ssExtensionMethods;

typedef struct ssPortInfo_tag {
    ssPortCountRegistration register_num_input_ports;
    void* register_num_input_ports_argument;
    ssPortCountRegistration register_num_output_ports;
    void* register_num_output_ports_argument;
    ssInputPort* inputs;   /* sizes field 3 entries */
    ssOutputPort* outputs; /* sizes field 2 entries */
} ssPortInfo;

typedef struct ssSFcnParams_tag {
    int_T count;       /* number of parameter handles given */
    mxArray** handles; /* the dialog parameters, in order */
} ssSFcnParams;

typedef struct ssWork_tag {
    real_T* cont_states;
    real_T* derivatives;
    int_T* iwork;
} ssWork;

typedef struct ssSampleTimeInfo_tag {
    real_T* sample_times;
    real_T* offset_times;
} ssSampleTimeInfo;

struct SimStruct_tag {
    const char* model_name;
    const char* path;
    SimStruct* root;
    ssRTInfo* rt_info;
    const char* error_status; /* static NUL-terminated text, or null */
    int32_T sizes[SS_SIZES_COUNT];
    uint32_T flags;
    ssPortInfo port_info;
    ssSFcnParams sfcn_params;
    ssModelMethods methods;
    ssExtensionMethods* extension; /* may be null */
    void* host_reserved;           /* null in a command-line record */
    ssWork work;
    ssSampleTimeInfo sample_time_info;
    real_T time;
};

/* ---- Declarations, made in mdlInitializeSizes ------------------------------------------ */

static inline void ssSetNumSFcnParams(SimStruct* S, int_T n) {
    S->sizes[SS_SIZES_NUM_SFCN_PARAMS] = n;
}
static inline int_T ssGetNumSFcnParams(const SimStruct* S) {
    return S->sizes[SS_SIZES_NUM_SFCN_PARAMS];
}
static inline void ssSetNumContStates(SimStruct* S, int_T n) {
    S->sizes[SS_SIZES_NUM_CONT_STATES] = n;
}
static inline int_T ssGetNumContStates(const SimStruct* S) {
    return S->sizes[SS_SIZES_NUM_CONT_STATES];
}
static inline void ssSetNumDiscStates(SimStruct* S, int_T n) {
    S->sizes[SS_SIZES_NUM_DISC_STATES] = n;
}
static inline int_T ssGetNumDiscStates(const SimStruct* S) {
    return S->sizes[SS_SIZES_NUM_DISC_STATES];
}
static inline int_T ssSetNumInputPorts(SimStruct* S, int_T n) {
    return S->port_info.register_num_input_ports(S->port_info.register_num_input_ports_argument, n);
}
static inline int_T ssGetNumInputPorts(const SimStruct* S) {
    return S->sizes[SS_SIZES_NUM_INPUT_PORTS];
}
static inline void ssSetInputPortWidth(SimStruct* S, int_T port, int_T width) {
    S->port_info.inputs[port].width = width;
}
static inline int_T ssGetInputPortWidth(const SimStruct* S, int_T port) {
    return S->port_info.inputs[port].width;
}
static inline void ssSetInputPortDirectFeedThrough(SimStruct* S, int_T port, int_T flag) {
    S->port_info.inputs[port].direct_feed_through = flag;
}
static inline int_T ssGetInputPortDirectFeedThrough(const SimStruct* S, int_T port) {
    return S->port_info.inputs[port].direct_feed_through;
}
static inline int_T ssSetNumOutputPorts(SimStruct* S, int_T n) {
    return S->port_info.register_num_output_ports(S->port_info.register_num_output_ports_argument,
                                                  n);
}
static inline int_T ssGetNumOutputPorts(const SimStruct* S) {
    return S->sizes[SS_SIZES_NUM_OUTPUT_PORTS];
}
static inline void ssSetOutputPortWidth(SimStruct* S, int_T port, int_T width) {
    S->port_info.outputs[port].width = width;
}
static inline int_T ssGetOutputPortWidth(const SimStruct* S, int_T port) {
    return S->port_info.outputs[port].width;
}
static inline void ssSetNumIWork(SimStruct* S, int_T n) { S->sizes[SS_SIZES_NUM_IWORK] = n; }
static inline int_T ssGetNumIWork(const SimStruct* S) { return S->sizes[SS_SIZES_NUM_IWORK]; }

/* ---- Run-time access -------------------------------------------------------------------- */

static inline int_T ssGetSFcnParamsCount(const SimStruct* S) { return S->sfcn_params.count; }
static inline const mxArray* ssGetSFcnParam(const SimStruct* S, int_T k) {
    return S->sfcn_params.handles[k];
}
static inline InputRealPtrsType ssGetInputPortRealSignalPtrs(const SimStruct* S, int_T port) {
    return S->port_info.inputs[port].signal_ptrs;
}
static inline real_T* ssGetOutputPortRealSignal(const SimStruct* S, int_T port) {
    return S->port_info.outputs[port].signal;
}
static inline real_T* ssGetContStates(const SimStruct* S) { return S->work.cont_states; }
static inline real_T* ssGetdX(const SimStruct* S) { return S->work.derivatives; }
static inline int_T* ssGetIWork(const SimStruct* S) { return S->work.iwork; }
static inline real_T ssGetT(const SimStruct* S) { return S->time; }

static inline void ssSetSampleTime(SimStruct* S, int_T i, real_T t) {
    S->sample_time_info.sample_times[i] = t;
}
static inline void ssSetOffsetTime(SimStruct* S, int_T i, real_T t) {
    S->sample_time_info.offset_times[i] = t;
}
static inline void ssSetModelReferenceSampleTimeDefaultInheritance(SimStruct* S) {
    S->flags =
        (S->flags & ~SS_FLAG_SAMPLE_TIME_INHERITANCE_PENDING) | SS_FLAG_SAMPLE_TIME_INHERITANCE_SET;
}

/* ---- Record members used by the MEX entry and the host ---------------------------------- */

static inline SimStruct* ssGetRootSS(const SimStruct* S) { return S->root; }
static inline const char* ssGetModelName(const SimStruct* S) { return S->model_name; }
static inline const char* ssGetPath(const SimStruct* S) { return S->path; }
static inline ssRTInfo* ssGetRTInfo(const SimStruct* S) { return S->rt_info; }
static inline void ssSetErrorStatus(SimStruct* S, const char* message) {
    S->error_status = message;
}
static inline const char* ssGetErrorStatus(const SimStruct* S) { return S->error_status; }
static inline int_T ssGetCallArgument(const SimStruct* S) {
    return S->sizes[SS_SIZES_CALL_ARGUMENT];
}
static inline void ssSetCallArgument(SimStruct* S, int_T value) {
    S->sizes[SS_SIZES_CALL_ARGUMENT] = value;
}

#endif
