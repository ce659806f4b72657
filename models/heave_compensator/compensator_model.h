// The heave compensator `heave_compensator`: a choke setpoint made of a feedforward from the
// estimated heave velocity, advanced in time, and a slow integral feedback on a pressure.
#pragma once

#include "block_methods.h"

TAVREL_DECLARE_MODEL_METHODS(tavrel::compensator)
