// Scenario texts for the engine's tests: the default well with one rig block, edited per test.
#pragma once

#include "scenario.h"

#include <string>

namespace tavrel::test {

// The well of the default scenario with a single `tavrel` block named "rig"; `rig_params` and
// `inputs` are inserted into its tables, `extra` appended at the end.
inline std::string rigScenario(const std::string& rig_params = "", const std::string& inputs = "",
                               const std::string& simulation = "duration = 10.0\n",
                               const std::string& extra = "") {
    return "[simulation]\n" + simulation +
           "\n[well]\n"
           "annulus_length = 3000.0\nannulus_area = 0.024\ndensity_ref = 1300.0\n"
           "pressure_ref = 1e5\nfriction_linear = 0.1\nfriction_quadratic = 0.17\n"
           "sound_speed = 1000.0\ninvariant_pressure_ref = 20e5\ninvariant_velocity_ref = 0.0\n"
           "initial_top_pressure = 20e5\ninclination = 1.5707963267948966\n"
           "displacer_depth = 3000.0\ndisplacer_area_outer = 0.01267\n"
           "displacer_area_inner = 0.0\ndisplacer_loss_linear = 0.0\n"
           "displacer_loss_quadratic = 0.0\nsensor_positions = [0.0, 1000.0, 2000.0, 3000.0]\n"
           "\n[blocks.rig]\nplugin = \"tavrel\"\n"
           "[blocks.rig.params]\nnum_fixed_outputs = 7\ndownstream_pressure = 1e5\n"
           "choke_stroke_time = 10.0\nchoke_density = 1300.0\n"
           "choke_characteristic = [0.0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3]\n" +
           rig_params + "\n[blocks.rig.inputs]\n" + inputs + "\n" + extra;
}

inline sim::Scenario parse(const std::string& text) {
    return sim::Scenario::parse(text, "test.toml", ".");
}

} // namespace tavrel::test
