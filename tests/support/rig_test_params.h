// Parameter sets of the rig models for tests: the default well of the shipped scenario.
#pragma once

#include "test_record.h"

#include <cmath>

namespace tavrel::test {

// Vertical 3000 m well, 4 sensors, six-point choke table; piston parameters last.
inline ParamList defaultRigParams() {
    return {{0.024},   {1300}, {1e5},  {0.1},   {0.17},    {1000},
            {20e5},    {0},    {1e5},  {20e5},  {10},      {1300},
            {M_PI / 2}, {3000}, {0.01267}, {0}, {0},       {0},
            {3000},    {7},    {0, 1000, 2000, 3000},
            {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3},
            {2000},    {0.02}, {0.05},  {0.5},   {0.2},     {1.5e9}};
}

} // namespace tavrel::test
