#include "block_methods.h"

namespace tavrel {

void mdlInitializeSampleTimes(SimStruct* S) {
    ssSetSampleTime(S, 0, CONTINUOUS_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
    ssSetModelReferenceSampleTimeDefaultInheritance(S);
}

void mdlTerminate(SimStruct*) {}

} // namespace tavrel
