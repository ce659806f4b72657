// The files of a linear model: `linear.npz` (numpy) and `linear.mat` (MATLAB/Octave), both
// with A B C D, x0 u0 y0, the names of states, inputs and outputs and the units of the ports.
#pragma once

#include "linearization.h"

#include <string>

namespace tavrel::linear {

// Each written under a temporary name and renamed when complete; throws LinearizeError
// naming the file.
void writeNpz(const LinearModel& model, const std::string& path);
void writeMat(const LinearModel& model, const std::string& path);

} // namespace tavrel::linear
