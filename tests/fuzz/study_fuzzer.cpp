// Study files: TOML text parsed and validated over the default scenario, the cases generated,
// and the first and last case written out as a scenario file, which must parse again (that text
// is what `tavrel run` gets for a case). Nothing runs. A bad file must end in the study's error
// naming file, line, key and rule; anything else, or a study that takes long or much memory
// to refuse, is a finding.
#include "fuzz_record.h"
#include "scenario.h"
#include "study.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace tavrel;

const std::string& baseDir() {
    static const std::string dir = [] {
        const auto path = std::filesystem::temp_directory_path() / "tavrel_study_fuzzer";
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

// A written case that no longer parses would run something other than the validated case.
void checkCaseText(const study::Study& s, size_t index) {
    const std::string text = s.caseText(index);
    try {
        sim::Scenario::parse(text, "case.toml", baseDir());
    } catch (const sim::ScenarioError&) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (fuzz::silenceConsole(), fuzz::keepPluginsLoaded(), true);
    (void)silenced;
    study::StudySource source;
    source.text.assign(reinterpret_cast<const char*>(data), size);
    source.name = "fuzz.toml";
    source.scenario_text = sim::defaultScenarioText();
    source.scenario_name = "<default scenario>";
    source.base_dir = baseDir();
    try {
        const study::Study s = study::Study::fromSource(std::move(source));
        (void)s.fingerprint();
        (void)s.metricHeaders();
        checkCaseText(s, 0);
        checkCaseText(s, s.caseCount() - 1);
    } catch (const study::StudyError&) {
    }
    return 0;
}
