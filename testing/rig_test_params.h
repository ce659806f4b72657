// Parameter sets of the rig models for tests: the defaults of the rig description.
#pragma once

#include "rig_shared_declarations.h"
#include "test_record.h"

namespace tavrel::test {

// Vertical 3000 m well, 4 sensors, six-point choke table; piston parameters last.
inline ParamList defaultRigParams() { return defaultParams(rig::annulus_params); }

} // namespace tavrel::test
