// The broadband heave compensator `sea_compensator`: a choke setpoint made of a Laguerre-filter
// feedforward from the measured heave, scaled down where the choke could not follow it, and a
// slow integral feedback on a pressure.
#pragma once

#include "block_methods.h"

TAVREL_DECLARE_MODEL_METHODS(tavrel::sea_compensator)
