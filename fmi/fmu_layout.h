// The variables of one exported block as its FMU carries them: the export parameter set, the
// port and state names, and the value references derived from them. The exporter writes it
// into the FMU's resources; the FMU binary reads it back, so both number the variables alike.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace tavrel::fmi {

enum class LayoutShape { scalar, vector, structural };

// The layout's file in the FMU's resources folder.
inline constexpr const char* layout_file_name = "block_layout.txt";

struct LayoutParam {
    std::string name;                        // empty: a slot the block ignores (no variable)
    LayoutShape shape = LayoutShape::scalar; // structural: fixes the block's structure (a constant)
    std::vector<double> values;              // the export values; their count is fixed
};

struct LayoutOutput {
    int port;         // the block's output port
    std::string name; // "bottom_pressure", "sensor_pressure[2]"
};

struct FmuLayout {
    std::string block; // the deliverable, also the model identifier
    std::string guid;
    std::vector<LayoutParam> params;   // every dialog parameter, in the block's order
    std::vector<std::string> inputs;   // one per input port, in port order
    std::vector<LayoutOutput> outputs; // the ports the block writes
    std::vector<std::string> states;   // one per continuous state
    // The units of the inputs and states, in step with their names (empty: none known); they
    // scale the steps of the directional derivatives.
    std::vector<std::string> input_units, state_units;
};

enum class RealRole { parameter, constant, input, output, state, derivative, solver_setting };

// A Real variable: its role and where its value lives (parameter `index` element `element`,
// port, state, or solver setting `index`).
struct RealVariable {
    unsigned vr;
    RealRole role;
    std::string name;
    int index = 0;
    int element = 0;
};

// Co-Simulation solver settings, after the block's variables.
enum class SolverSetting : int { rtol = 0, atol = 1, count = 2 };
inline constexpr const char* solver_setting_names[] = {"solver_rtol", "solver_atol"};
inline constexpr double solver_setting_defaults[] = {1e-6, 1e-6};
// The one Integer variable, `solver`: the Co-Simulation solver (an enumeration).
inline constexpr unsigned solver_kind_vr = 0;
enum class SolverChoice : int { dormand_prince = 1, bdf = 2 };

// All Real variables in value-reference order (vr = position): parameter elements, inputs,
// outputs, states, derivatives ("der(w_up[0])"), solver settings.
std::vector<RealVariable> realVariables(const FmuLayout& layout);

void writeLayout(std::ostream& out, const FmuLayout& layout);
// Reads a layout; throws std::runtime_error naming `source`:line and the problem.
FmuLayout readLayout(std::istream& in, const std::string& source);

} // namespace tavrel::fmi
