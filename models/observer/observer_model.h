// The observer `tavrel_observer`: a 20-cell linear wave model of the annulus, corrected
// continuously from the measured top flow and top pressure, with a two-state oscillator that
// estimates the displacer velocity.
#pragma once

#include "block_methods.h"

TAVREL_DECLARE_MODEL_METHODS(tavrel::observer)
