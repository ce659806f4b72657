// Sensor pressures: both wave profiles sampled at the user's sensor positions, combined into
// a pressure and written to the ports that follow the block's fixed outputs.
#pragma once

#include "block_io.h"
#include "profile_interp.h"

#include <algorithm>

namespace tavrel {

struct WaveProfiles {
    const double* up;     // `w_up` at points 1..n
    double up_boundary;   // `w_up` at point 0
    const double* down;   // `w_down` at points 0..n-1
    double down_boundary; // `w_down` at point n
    int cells;            // n
    double dx;
};

// The samples are taken in fixed-size batches on the stack: each position is handled on its
// own, so the results equal those of one pass, and no call allocates or can fail to.
template <class Pressure>
void writeSensorPressures(const SimStruct* S, int first_port, ParamVector positions,
                          const WaveProfiles& w, Pressure pressure) {
    constexpr std::size_t batch = 32;
    double up[batch];
    double down[batch];
    for (std::size_t start = 0; start < positions.length; start += batch) {
        const int m = static_cast<int>(std::min(batch, positions.length - start));
        interpProfileStartBoundary(w.up, positions.data + start, up, w.cells, m, w.dx,
                                   w.up_boundary);
        interpProfileEndBoundary(w.down, positions.data + start, down, w.cells, m, w.dx,
                                 w.down_boundary);
        for (int i = 0; i < m; ++i) {
            writeOutput(S, static_cast<long long>(first_port) + static_cast<long long>(start) + i,
                        pressure(up[i], down[i]));
        }
    }
}

} // namespace tavrel
