#include "known_blocks.h"

#include "rig_vocabulary.h"

#include <cmath>

namespace tavrel::host {

namespace {

// A vertical 3000 m well with four pressure sensors and a six-point choke table; the last six
// values describe the piston block's chambers and passage.
ParamValues defaultWell() {
    return {{0.024}, {1300}, {1e5},      {0.1},     {0.17}, {1000}, {20e5}, {0},
            {1e5},   {20e5}, {10},       {1300},    {M_PI / 2}, {3000}, {0.01267}, {0},
            {0},     {0},    {3000},     {7},       {0, 1000, 2000, 3000},
            {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3},
            {2000},  {0.02}, {0.05},     {0.5},     {0.2},  {1.5e9}};
}

// The observer of the same well: measured top flow and pressure correct the estimate at about
// one per second along the annulus; the displacer oscillator has a ten-second period.
ParamValues observerWell() {
    return {{0.024},     {1300}, {1e5},  {0.1},      {0.17},    {1000},
            {20e5},      {0},    {20e5}, {3000},     {0},       {M_PI / 2},
            {3000},      {0.01267}, {0}, {0},        {0},       {6},
            {0, 1000, 2000, 3000},       {1, 1},     {0.5, 0.5},
            {20},        {20},   {2 * M_PI / 10}};
}

// States of the 100-cell reduced model: 100 `w_up`, 100 `w_down`, then the choke opening.
constexpr int linear_choke_opening_state = 2 * 100;

} // namespace

std::optional<ParamValues> defaultParams(const std::string& block_name) {
    if (block_name == "tavrel" || block_name == "tavrel_piston" || block_name == "tavrel_linear")
        return defaultWell();
    if (block_name == "tavrel_observer") return observerWell();
    return std::nullopt;
}

std::optional<int> chokeOpeningState(const std::string& block_name) {
    if (block_name == "tavrel" || block_name == "tavrel_piston") return rig::state::choke_opening;
    if (block_name == "tavrel_linear") return linear_choke_opening_state;
    return std::nullopt;
}

} // namespace tavrel::host
