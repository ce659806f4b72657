// Scenario files: TOML text parsed and validated, and a scenario that validates run for a
// short span through the real plug-ins. A bad file must end in the scenario's error (naming
// file, line and key), a failing run in the engine's or the host's error; anything else is a
// finding.
#include "block_instance.h"
#include "fuzz_record.h"
#include "result_files.h"
#include "scenario.h"
#include "simulation.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace tavrel;

// A folder with a small table file, for scenarios that name one (relative names only).
const std::string& baseDir() {
    static const std::string dir = [] {
        const auto path = std::filesystem::temp_directory_path() / "tavrel_scenario_fuzzer";
        std::filesystem::create_directories(path);
        std::ofstream(path / "table.csv") << "time,value\n0,0.4\n1,0.5\n";
        return path.string();
    }();
    return dir;
}

// At most a few output rows and a bounded number of fixed steps: the run checks the wiring,
// the first outputs and a little integration, not the physics over time.
void shorten(sim::Scenario& s) {
    s.duration = std::min(s.duration, 0.05);
    s.output_interval = std::max(s.output_interval, s.duration / 4);
    s.solver.fixed_step = std::max(s.solver.fixed_step, s.duration / 100);
    s.solver.max_step = 0;
    // A stiff block ends the run with its named error after this many steps; the default
    // would take longer than the fuzzer's timeout under the sanitizers.
    s.solver.max_steps_per_interval = 2000;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (fuzz::silenceConsole(), fuzz::keepPluginsLoaded(), true);
    (void)silenced;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Paths would reach any file or library of the machine: only names in the base folder.
    if (text.find('/') != std::string::npos) return 0;
    sim::Scenario scenario;
    try {
        scenario = sim::Scenario::parse(text, "fuzz.toml", baseDir());
    } catch (const sim::ScenarioError&) {
        return 0;
    }
    shorten(scenario);
    try {
        sim::MemorySink sink;
        sim::runScenario(scenario, sink);
    } catch (const sim::SimulationError&) {
    } catch (const host::HostError&) {
    }
    return 0;
}
