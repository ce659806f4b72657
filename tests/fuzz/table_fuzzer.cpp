// CSV table files of table sources: any bytes as the file, read through a scenario that names
// it, and the table that loads evaluated at times before, inside and after it. A bad file must
// end in the scenario's error naming the file and line.
#include "scenario.h"
#include "sources.h"

#include <filesystem>
#include <fstream>
#include <limits>

namespace {

using namespace tavrel::sim;

const std::filesystem::path& folder() {
    static const auto path = [] {
        auto p = std::filesystem::temp_directory_path() / "tavrel_table_fuzzer";
        std::filesystem::create_directories(p);
        return p;
    }();
    return path;
}

struct NoSignals : SignalBoard {
    double value(const Signal&) const override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(folder() / "table.csv", std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::string text = defaultScenarioText();
    const std::string setpoint = "choke_setpoint = { hold = \"rig.choke_opening\" }";
    text.replace(text.find(setpoint), setpoint.size(),
                 "choke_setpoint = { table = { file = \"table.csv\" } }");
    Scenario scenario;
    try {
        scenario = Scenario::parse(text, "fuzz.toml", folder().string());
    } catch (const ScenarioError&) {
        return 0;
    }
    const Source& table = scenario.block("rig").inputs.at("choke_setpoint");
    int controllers = 0;
    const auto source = compileSource(
        table, [](const PortRef&) { return Signal{}; }, controllers);
    const NoSignals board;
    const auto& times = table.as<source::Table>()->times;
    const double first = times.front(), last = times.back();
    for (double t : {first - 1, first, (first + last) / 2, last, last + 1, -1e308, 1e308,
                     std::numeric_limits<double>::quiet_NaN()})
        source->value(t, nullptr, board);
    return 0;
}
