// The two methods that every block shares, and the set of methods a model hands to its
// plug-in entry.
#pragma once

#include "simstruc.h"

namespace tavrel {

// One continuous sample time (entry 0) with offset 0, default inheritance rule.
void mdlInitializeSampleTimes(SimStruct* S);

// No method holds anything across calls: nothing to release.
void mdlTerminate(SimStruct* S);

// A model's methods, as the plug-in entry binds them into the host's record.
struct ModelMethods {
    mdlRecordMethod initialize_sizes;
    mdlRecordMethod initialize_conditions;
    mdlOutputsMethod outputs;
    mdlRecordMethod derivatives;
};

} // namespace tavrel

// Declares the four methods of the model in namespace `ns` (a model's header is this line).
#define TAVREL_DECLARE_MODEL_METHODS(ns)                                                           \
    namespace ns {                                                                                 \
    void mdlInitializeSizes(SimStruct* S);                                                         \
    void mdlInitializeConditions(SimStruct* S);                                                    \
    void mdlOutputs(SimStruct* S, int_T tid);                                                      \
    void mdlDerivatives(SimStruct* S);                                                             \
    }

// The methods of the model in namespace `ns`, as its plug-in entry binds them.
#define TAVREL_MODEL_METHODS(ns)                                                                   \
    ::tavrel::ModelMethods {                                                                       \
        &ns::mdlInitializeSizes, &ns::mdlInitializeConditions, &ns::mdlOutputs,                    \
            &ns::mdlDerivatives                                                                    \
    }
