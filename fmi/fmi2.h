/* The C interface of an FMI 2.0 binary (the open Functional Mock-up Interface standard):
 * platform types, the importer's callbacks and every function an importer may look up, for
 * Model Exchange and Co-Simulation. Written from the standard's text; the names and
 * signatures are fixed by it. */
#ifndef TAVREL_FMI2_H
#define TAVREL_FMI2_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define fmi2TypesPlatform "default"
#define fmi2Version "2.0"

typedef void* fmi2Component;
typedef void* fmi2ComponentEnvironment;
typedef void* fmi2FMUstate;
typedef unsigned int fmi2ValueReference;
typedef double fmi2Real;
typedef int fmi2Integer;
typedef int fmi2Boolean;
typedef char fmi2Char;
typedef const fmi2Char* fmi2String;
typedef char fmi2Byte;

#define fmi2True 1
#define fmi2False 0

typedef enum { fmi2OK, fmi2Warning, fmi2Discard, fmi2Error, fmi2Fatal, fmi2Pending } fmi2Status;
typedef enum { fmi2ModelExchange, fmi2CoSimulation } fmi2Type;
typedef enum {
    fmi2DoStepStatus,
    fmi2PendingStatus,
    fmi2LastSuccessfulTime,
    fmi2Terminated
} fmi2StatusKind;

typedef void (*fmi2CallbackLogger)(fmi2ComponentEnvironment, fmi2String instanceName, fmi2Status,
                                   fmi2String category, fmi2String message, ...);
typedef void* (*fmi2CallbackAllocateMemory)(size_t, size_t);
typedef void (*fmi2CallbackFreeMemory)(void*);
typedef void (*fmi2StepFinished)(fmi2ComponentEnvironment, fmi2Status);

typedef struct {
    const fmi2CallbackLogger logger;
    const fmi2CallbackAllocateMemory allocateMemory;
    const fmi2CallbackFreeMemory freeMemory;
    const fmi2StepFinished stepFinished;
    const fmi2ComponentEnvironment componentEnvironment;
} fmi2CallbackFunctions;

typedef struct {
    fmi2Boolean newDiscreteStatesNeeded;
    fmi2Boolean terminateSimulation;
    fmi2Boolean nominalsOfContinuousStatesChanged;
    fmi2Boolean valuesOfContinuousStatesChanged;
    fmi2Boolean nextEventTimeDefined;
    fmi2Real nextEventTime;
} fmi2EventInfo;

#define FMI2_Export __attribute__((visibility("default")))

/* Common functions */
FMI2_Export const char* fmi2GetTypesPlatform(void);
FMI2_Export const char* fmi2GetVersion(void);
FMI2_Export fmi2Status fmi2SetDebugLogging(fmi2Component, fmi2Boolean loggingOn, size_t nCategories,
                                           const fmi2String categories[]);
FMI2_Export fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType,
                                          fmi2String fmuGUID, fmi2String fmuResourceLocation,
                                          const fmi2CallbackFunctions* functions,
                                          fmi2Boolean visible, fmi2Boolean loggingOn);
FMI2_Export void fmi2FreeInstance(fmi2Component);
FMI2_Export fmi2Status fmi2SetupExperiment(fmi2Component, fmi2Boolean toleranceDefined,
                                           fmi2Real tolerance, fmi2Real startTime,
                                           fmi2Boolean stopTimeDefined, fmi2Real stopTime);
FMI2_Export fmi2Status fmi2EnterInitializationMode(fmi2Component);
FMI2_Export fmi2Status fmi2ExitInitializationMode(fmi2Component);
FMI2_Export fmi2Status fmi2Terminate(fmi2Component);
FMI2_Export fmi2Status fmi2Reset(fmi2Component);
FMI2_Export fmi2Status fmi2GetReal(fmi2Component, const fmi2ValueReference[], size_t, fmi2Real[]);
FMI2_Export fmi2Status fmi2GetInteger(fmi2Component, const fmi2ValueReference[], size_t,
                                      fmi2Integer[]);
FMI2_Export fmi2Status fmi2GetBoolean(fmi2Component, const fmi2ValueReference[], size_t,
                                      fmi2Boolean[]);
FMI2_Export fmi2Status fmi2GetString(fmi2Component, const fmi2ValueReference[], size_t,
                                     fmi2String[]);
FMI2_Export fmi2Status fmi2SetReal(fmi2Component, const fmi2ValueReference[], size_t,
                                   const fmi2Real[]);
FMI2_Export fmi2Status fmi2SetInteger(fmi2Component, const fmi2ValueReference[], size_t,
                                      const fmi2Integer[]);
FMI2_Export fmi2Status fmi2SetBoolean(fmi2Component, const fmi2ValueReference[], size_t,
                                      const fmi2Boolean[]);
FMI2_Export fmi2Status fmi2SetString(fmi2Component, const fmi2ValueReference[], size_t,
                                     const fmi2String[]);
FMI2_Export fmi2Status fmi2GetFMUstate(fmi2Component, fmi2FMUstate*);
FMI2_Export fmi2Status fmi2SetFMUstate(fmi2Component, fmi2FMUstate);
FMI2_Export fmi2Status fmi2FreeFMUstate(fmi2Component, fmi2FMUstate*);
FMI2_Export fmi2Status fmi2SerializedFMUstateSize(fmi2Component, fmi2FMUstate, size_t*);
FMI2_Export fmi2Status fmi2SerializeFMUstate(fmi2Component, fmi2FMUstate, fmi2Byte[], size_t);
FMI2_Export fmi2Status fmi2DeSerializeFMUstate(fmi2Component, const fmi2Byte[], size_t,
                                               fmi2FMUstate*);
FMI2_Export fmi2Status fmi2GetDirectionalDerivative(fmi2Component,
                                                    const fmi2ValueReference unknowns[], size_t,
                                                    const fmi2ValueReference knowns[], size_t,
                                                    const fmi2Real dvKnown[], fmi2Real dvUnknown[]);

/* Model Exchange */
FMI2_Export fmi2Status fmi2EnterEventMode(fmi2Component);
FMI2_Export fmi2Status fmi2NewDiscreteStates(fmi2Component, fmi2EventInfo*);
FMI2_Export fmi2Status fmi2EnterContinuousTimeMode(fmi2Component);
FMI2_Export fmi2Status fmi2CompletedIntegratorStep(fmi2Component,
                                                   fmi2Boolean noSetFMUStatePriorToCurrentPoint,
                                                   fmi2Boolean* enterEventMode,
                                                   fmi2Boolean* terminateSimulation);
FMI2_Export fmi2Status fmi2SetTime(fmi2Component, fmi2Real time);
FMI2_Export fmi2Status fmi2SetContinuousStates(fmi2Component, const fmi2Real x[], size_t nx);
FMI2_Export fmi2Status fmi2GetDerivatives(fmi2Component, fmi2Real derivatives[], size_t nx);
FMI2_Export fmi2Status fmi2GetEventIndicators(fmi2Component, fmi2Real eventIndicators[], size_t ni);
FMI2_Export fmi2Status fmi2GetContinuousStates(fmi2Component, fmi2Real x[], size_t nx);
FMI2_Export fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component, fmi2Real x_nominal[],
                                                         size_t nx);

/* Co-Simulation */
FMI2_Export fmi2Status fmi2SetRealInputDerivatives(fmi2Component, const fmi2ValueReference[],
                                                   size_t, const fmi2Integer order[],
                                                   const fmi2Real value[]);
FMI2_Export fmi2Status fmi2GetRealOutputDerivatives(fmi2Component, const fmi2ValueReference[],
                                                    size_t, const fmi2Integer order[],
                                                    fmi2Real value[]);
FMI2_Export fmi2Status fmi2DoStep(fmi2Component, fmi2Real currentCommunicationPoint,
                                  fmi2Real communicationStepSize,
                                  fmi2Boolean noSetFMUStatePriorToCurrentPoint);
FMI2_Export fmi2Status fmi2CancelStep(fmi2Component);
FMI2_Export fmi2Status fmi2GetStatus(fmi2Component, const fmi2StatusKind, fmi2Status*);
FMI2_Export fmi2Status fmi2GetRealStatus(fmi2Component, const fmi2StatusKind, fmi2Real*);
FMI2_Export fmi2Status fmi2GetIntegerStatus(fmi2Component, const fmi2StatusKind, fmi2Integer*);
FMI2_Export fmi2Status fmi2GetBooleanStatus(fmi2Component, const fmi2StatusKind, fmi2Boolean*);
FMI2_Export fmi2Status fmi2GetStringStatus(fmi2Component, const fmi2StatusKind, fmi2String*);

#ifdef __cplusplus
}
#endif

#endif
