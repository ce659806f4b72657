#include "block_catalog.h"
#include "local_runner.h"
#include "metrics.h"
#include "result_files.h"
#include "result_folder.h"
#include "simulation.h"
#include "study.h"
#include "study_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tavrel::study {
namespace {

namespace fs = std::filesystem;

Study studyOf(const std::string& text) {
    return Study::fromSource({text, "test.toml", sim::defaultScenarioText(), "<default scenario>",
                              fs::current_path().string()});
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path freshFolder(const std::string& name) {
    const fs::path folder =
        fs::temp_directory_path() / ("tavrel_study_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(folder);
    return folder;
}

// Short cases of the default well; the middle one fails in its solver (a far too long step).
const std::string small_study = R"(
scenario = "default"
[simulation]
duration = 4.0
solver = "fixed_step"
[summary]
period = 2.0
periods = 1
[study]
metrics = ["rig.bottom_pressure:swing", "rig.bottom_pressure:amplitude",
           "observer.displacer_velocity_estimate-rig.displacer_velocity:rms"]
[[study.vary]]
key = "simulation.fixed_step"
values = [0.002, 0.5, 0.004]
[[study.vary]]
key = "rig.displacer_velocity.amplitude"
values = [0.5, 0.785]
)";

TEST(StudyFile, BadFilesNameLineKeyAndRule) {
    const std::string head =
        "scenario = \"default\"\n[study]\nmetrics = [\"rig.bottom_pressure:max\"]\n";
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"[study]\nmetrics = []\n", "test.toml:2: study.metrics: needs a list"},
        {"[study]\nmetrics = [\"rig.bottom_pressure:median\"]\n",
         "test.toml:2: study.metrics: \"rig.bottom_pressure:median\": unknown statistic"},
        {head + "[[study.vary]]\nkey = \"rig.displacer_velocity.period\"\nvalues = [6.0, -1.0]\n",
         "test.toml:6: rig.displacer_velocity.period = -1: <default scenario>:45: "
         "blocks.rig.inputs.displacer_velocity.sine.period: must be positive"},
        {head + "[[study.vary]]\nkey = \"pump.speed\"\nvalues = [1.0]\n",
         "test.toml:6: pump.speed = 1: the scenario has no block \"pump\""},
        // Misspelt names are answered with the nearest one.
        {head + "[[study.vary]]\nkey = \"rgi.annulus_length\"\nvalues = [1.0]\n",
         "no block \"rgi\" (did you mean rig?)"},
        {head + "[[study.vary]]\nkey = \"rig.displacer_velocty.period\"\nvalues = [1.0]\n",
         "not a source with fields in the scenario (did you mean displacer_velocity?)"},
        {"[study]\nmetrics = [\"rig.bottom_pressure:mena\"]\n",
         "unknown statistic \"mena\" (did you mean mean?)"},
        {"scenario = \"default\"\n[study]\nmetrics = [\"rig.bottom_presure:max\"]\n[[study.vary]]\n"
         "key = \"simulation.duration\"\nvalues = [1.0]\n",
         "no logged column \"rig.bottom_presure\" (did you mean rig.bottom_pressure?)"},
        {head + "[[study.vary]]\nkey = \"well.annulus_length\"\nlinspace = { start = 1.0, stop = "
                "2.0 }\n",
         "test.toml:6: study.vary[0].linspace: needs \"num\""},
        {head +
             "[[study.vary]]\nkey = \"well.density_ref\"\nnormal = { mean = 1300.0, std = 1.0 }\n",
         "study.vary[0].normal: random draws need [study] samples"},
        {head + "mode = \"zip\"\n[[study.vary]]\nkey = \"well.density_ref\"\nvalues = [1.0, 2.0]\n"
                "[[study.vary]]\nkey = \"well.sound_speed\"\nvalues = [900.0]\n",
         "test.toml:10: study.mode: \"zip\" needs lists of equal length"},
        {"scenario = \"default\"\n[study]\nmetrics = [\"rig.no_such_port:max\"]\n[[study.vary]]\n"
         "key = \"simulation.duration\"\nvalues = [1.0]\n",
         "test.toml:3: study.metrics: no logged column \"rig.no_such_port\""},
        {"scenario = \"default\"\n[summary]\nperiod = 0.0\n[study]\nmetrics = "
         "[\"rig.bottom_pressure:phase\"]\n"
         "[[study.vary]]\nkey = \"simulation.duration\"\nvalues = [1.0]\n",
         "test.toml:5: study.metrics: \"rig.bottom_pressure:phase\": amplitude and phase need a "
         "[summary] period"},
        {head + "[[study.vary]]\nkey = \"rig\"\nvalues = [1.0]\n",
         "test.toml:5: study.vary[0].key: \"rig\": must be SECTION.NAME"},
        {head + "[[study.vary]]\nkey = \"well.sound_speed\"\nvalues = [900.0]\n[[study.vary]]\n"
                "key = [\"well.density_ref\", \"well.sound_speed\"]\nvalues = [1.0]\n",
         "test.toml:7: study.vary[1].key: \"well.sound_speed\" is varied already"},
        {"scenario = \"default\"\n[summary]\nperiod = { from = \"rig.injection_flow\" }\n[study]\n"
         "metrics = [\"rig.bottom_pressure:max\"]\n[[study.vary]]\nkey = "
         "\"simulation.duration\"\nvalues = [1.0]\n",
         "summary.period.from: must name a block input driven by a sine source"},
        // Counts that would take for ever or all memory are refused before anything is made.
        {head + "[[study.vary]]\nkey = \"well.density_ref\"\nlinspace = { start = 1.0, stop = 2.0, "
                "num = 1e12 }\n",
         "test.toml:6: study.vary[0].linspace: num must be a whole number from 1 to"},
        {head + "[[study.vary]]\nkey = \"well.density_ref\"\nrange = { start = 1.0, stop = 2.0, "
                "step = 0.0 }\n",
         "test.toml:6: study.vary[0].range: step must be positive"},
        {head + "[[study.vary]]\nkey = \"well.density_ref\"\nrange = { start = 1.0, stop = 2.0, "
                "step = 1e-300 }\n",
         "test.toml:6: study.vary[0].range: more than"},
        {"scenario = \"default\"\n[study]\nsamples = 1e15\nmetrics = "
         "[\"rig.bottom_pressure:max\"]\n",
         "test.toml:3: study.samples: must be a whole number from 1 to"},
        // No draw at all is acceptable: the distribution itself is wrong.
        {"scenario = \"default\"\n[study]\nsamples = 4\nmetrics = [\"rig.bottom_pressure:max\"]\n"
         "[[study.vary]]\nkey = \"well.density_ref\"\nuniform = { low = -2.0, high = -1.0 }\n",
         "test.toml:7: well.density_ref = -1."},
    };
    for (const auto& c : cases) {
        try {
            studyOf(c.text);
            ADD_FAILURE() << "accepted:\n" << c.text;
        } catch (const StudyError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
                << "message: " << error.what() << "\nexpected: " << c.expected;
        }
    }
}

// A draw that a rule refuses fails its own case; the other draws still make a study.
TEST(StudyFile, RefusedDrawFailsOnlyItsCase) {
    const Study s = studyOf("scenario = \"default\"\n[simulation]\nduration = 0.1\n[study]\n"
                            "samples = 12\nseed = 3\nmetrics = [\"rig.bottom_pressure:max\"]\n"
                            "[[study.vary]]\nkey = \"well.density_ref\"\n"
                            "uniform = { low = -1000.0, high = 2000.0 }\n");
    size_t refused = 0;
    for (size_t i = 0; i < s.caseCount(); ++i) {
        if (s.caseValues(i)[0] > 0) continue;
        const CaseResult result = s.run(i);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("density_ref"), std::string::npos) << result.error;
        ++refused;
    }
    EXPECT_GT(refused, 0u);
    EXPECT_LT(refused, s.caseCount());
}

TEST(StudyFile, GeneratorsAndModes) {
    const std::string head =
        "scenario = \"default\"\n[study]\nmetrics = [\"rig.bottom_pressure:max\"]\n";
    auto valuesOf = [&](const std::string& vary, const std::string& extra = "") {
        const Study s =
            studyOf(head + extra + "[[study.vary]]\nkey = \"well.density_ref\"\n" + vary + "\n");
        std::vector<double> v;
        for (size_t i = 0; i < s.caseCount(); ++i)
            v.push_back(s.caseValues(i)[0]);
        return v;
    };
    EXPECT_EQ(valuesOf("linspace = { start = 1000.0, stop = 1400.0, num = 3 }"),
              (std::vector<double>{1000, 1200, 1400}));
    EXPECT_EQ(valuesOf("logspace = { start = 10.0, stop = 1000.0, num = 3 }"),
              (std::vector<double>{10, 100, 1000}));
    EXPECT_EQ(valuesOf("range = { start = 1000.0, stop = 1300.0, step = 100.0 }"),
              (std::vector<double>{1000, 1100, 1200, 1300}));
    // Random draws: the same seed gives the same cases, another seed others; within bounds.
    const auto a =
        valuesOf("uniform = { low = 1200.0, high = 1400.0 }", "samples = 50\nseed = 7\n");
    EXPECT_EQ(a, valuesOf("uniform = { low = 1200.0, high = 1400.0 }", "samples = 50\nseed = 7\n"));
    EXPECT_NE(a, valuesOf("uniform = { low = 1200.0, high = 1400.0 }", "samples = 50\nseed = 8\n"));
    for (double v : a)
        EXPECT_TRUE(v > 1200 && v < 1400) << v;
    double sum = 0;
    for (double v : valuesOf("normal = { mean = 1300.0, std = 10.0 }", "samples = 400\nseed = 1\n"))
        sum += v;
    EXPECT_NEAR(sum / 400, 1300, 2.0);

    // A grid is every combination with the last key fastest; tied keys take the same value.
    const Study grid =
        studyOf(head + "[[study.vary]]\nkey = [\"well.annulus_length\", \"well.displacer_depth\"]\n"
                       "values = [3000.0, 4000.0]\n[[study.vary]]\nkey = \"well.sound_speed\"\n"
                       "values = [900.0, 1000.0, 1100.0]\n");
    ASSERT_EQ(grid.caseCount(), 6u);
    EXPECT_EQ(grid.keys(), (std::vector<std::string>{"well.annulus_length", "well.displacer_depth",
                                                     "well.sound_speed"}));
    EXPECT_EQ(grid.caseValues(4), (std::vector<double>{4000, 4000, 1000}));
    // Random draws go side by side unless the file says otherwise; the figures ask for both.
    const Study drawn = studyOf(head + "samples = 3\n[[study.vary]]\nkey = \"well.density_ref\"\n"
                                       "normal = { mean = 1300.0, std = 10.0 }\n");
    EXPECT_EQ(std::pair(std::string(grid.mode()), grid.random()),
              std::pair(std::string("grid"), false));
    EXPECT_EQ(std::pair(std::string(drawn.mode()), drawn.random()),
              std::pair(std::string("zip"), true));
    const sim::Scenario s = grid.scenarioFor(4);
    for (const auto& block : s.blocks) { // the shared value reaches every block that has it
        EXPECT_EQ(
            block.params[size_t(sim::paramIndex(*sim::findBlockKind(block.kind), "sound_speed"))],
            std::vector<double>{1000});
    }
}

// A varied value may carry its unit, read as the scenario reads it; study.csv heads each key
// with the SI unit its values are written in.
TEST(StudyFile, ValuesCarryTheirUnitsAndHeadingsNameThem) {
    const std::string head =
        "scenario = \"default\"\n[study]\nmetrics = [\"rig.bottom_pressure:max\"]\n";
    struct Case {
        const char* key;
        const char* generator;
        std::vector<double> values; // empty: refused with `refused`
        const char* refused;
    };
    const Case cases[] = {
        {"rig.displacer_velocity.period", "values = [\"12 s\", \"0.1 min\", 3.0]", {12, 6, 3}, ""},
        {"well.initial_top_pressure",
         "range = { start = \"20 bar\", stop = \"22 bar\", step = \"1 bar\" }",
         {20e5, 21e5, 22e5},
         ""},
        {"simulation.duration",
         "linspace = { start = \"1 min\", stop = 90.0, num = 2 }",
         {60, 90},
         ""},
        {"rig.displacer_velocity.period",
         "values = [\"20 bar\"]",
         {},
         "test.toml:6: study.vary[0].values: \"20 bar\" is a pressure [Pa], not a time [s]"},
        {"simulation.duration",
         "linspace = { start = 1.0, stop = 2.0, num = \"2 s\" }",
         {},
         "test.toml:6: study.vary[0].linspace.num:"},
        {"[\"well.annulus_length\", \"well.sound_speed\"]",
         "values = [\"3 km\"]",
         {},
         "study.vary[0].values: the keys are in different units"},
    };
    for (const auto& c : cases) {
        const std::string key = c.key[0] == '[' ? c.key : std::string("\"") + c.key + "\"";
        const std::string text = head + "[[study.vary]]\nkey = " + key + "\n" + c.generator + "\n";
        try {
            const Study s = studyOf(text);
            ASSERT_EQ(s.caseCount(), c.values.size()) << text;
            for (size_t i = 0; i < s.caseCount(); ++i)
                EXPECT_DOUBLE_EQ(s.caseValues(i)[0], c.values[i]) << c.key;
        } catch (const StudyError& error) {
            EXPECT_TRUE(c.values.empty()) << error.what();
            EXPECT_NE(std::string(error.what()).find(c.refused), std::string::npos) << error.what();
        }
    }
    std::string keyed = head;
    for (const char* key : {"rig.displacer_velocity.period", "observer.displacer_frequency",
                            "rig.choke_setpoint", "simulation.rtol", "well.density_ref"}) {
        keyed += std::string("[[study.vary]]\nkey = \"") + key + "\"\nvalues = [0.5]\n";
    }
    const Study s = studyOf(keyed);
    EXPECT_EQ(s.keyHeaders(),
              (std::vector<std::string>{
                  "rig.displacer_velocity.period [s]", "observer.displacer_frequency [rad/s]",
                  "rig.choke_setpoint [1]", "simulation.rtol [1]", "well.density_ref [kg/m3]"}));
}

TEST(Metrics, StatisticsOverTheSummaryWindow) {
    sim::Scenario scenario;
    scenario.start_time = 0;
    scenario.duration = 20;
    scenario.summary_period = 4;
    scenario.summary_periods = 2; // window: t >= 12
    scenario.summary_window = sim::PressureWindow{"a", 4, 6.5};
    std::vector<Metric> metrics;
    for (const char* text :
         {"a:min", "a:max", "a:mean", "a:swing", "a:rms", "a:final", "a:amplitude", "a:phase",
          "a-b:rms", "a:std", "a:p99", "a:band", "a:outside", "a:excursions", "a:worst"}) {
        Metric m;
        ASSERT_EQ(parseMetric(text, m), "");
        metrics.push_back(m);
    }
    MetricSink sink(metrics, scenario);
    sink.begin({{"a", "Pa", "x", "a", true}, {"b", "Pa", "x", "b", true}});
    const double pi = 3.14159265358979323846;
    for (int k = 0; k <= 2000; ++k) {
        const double t = 0.01 * k;
        const double a = t < 12 ? 100.0 : 5 + 2 * std::sin(2 * pi * t / 4 + 0.3);
        sink.row(t, {a, a - 3});
    }
    const auto v = sink.values();
    EXPECT_NEAR(v[0], 3, 1e-5);
    EXPECT_NEAR(v[1], 7, 1e-5);
    EXPECT_NEAR(v[2], 5, 2e-3);
    EXPECT_NEAR(v[3], 4, 1e-5);
    EXPECT_NEAR(v[4], std::sqrt(25 + 2), 2e-3);
    EXPECT_NEAR(v[5], 5 + 2 * std::sin(2 * pi * 20 / 4 + 0.3), 1e-12);
    EXPECT_NEAR(v[6], 2, 1e-4);
    EXPECT_NEAR(v[7], 0.3, 1e-4);
    EXPECT_NEAR(v[8], 3, 1e-12);
    // A sine of amplitude A spends the share 1/2 + asin(x/A)/pi of its time below x.
    EXPECT_NEAR(v[9], 2 / std::sqrt(2.0), 1e-3); // 801 rows, both ends in
    EXPECT_NEAR(v[10], 5 + 2 * std::sin(0.49 * pi), 1e-4);
    EXPECT_NEAR(v[11], 4 * std::sin(0.49 * pi), 5e-4);
    // Outside [4, 6.5]: above while sin > 0.75, below while sin < -0.5, twice a period each.
    EXPECT_NEAR(v[12], 100 * ((pi - 2 * std::asin(0.75)) + (pi - 2 * std::asin(0.5))) / (2 * pi),
                0.3);
    EXPECT_EQ(v[13], 4);
    EXPECT_NEAR(v[14], 1, 1e-4);
}

// Rows of study.csv without the header.
std::string rowsOf(const fs::path& folder) {
    const std::string text = readText(folder / "study.csv");
    return text.substr(text.find('\n') + 1);
}

// A text cell a spreadsheet would run as a formula is kept text; others are only quoted.
TEST(StudyFile, TextCellsNeverReadAsFormulas) {
    const std::pair<std::string, std::string> cases[] = {
        {"=cmd|' /C calc'!A0", "'=cmd|' /C calc'!A0"},
        {"+1", "'+1"},
        {"-x", "'-x"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"=a,b", "\"'=a,b\""},
        {"a \"b\"", "\"a \"\"b\"\"\""},
        {"rig.bottom_pressure", "rig.bottom_pressure"}};
    for (const auto& [text, cell] : cases)
        EXPECT_EQ(tavrel::csvText(text), cell) << text;
}

TEST(LocalRunner, SameRowsWithOneOrTwoJobsAndAlone) {
    const Study study = studyOf(small_study);
    std::string rows[2];
    for (int jobs : {1, 2}) {
        const fs::path folder = freshFolder("jobs" + std::to_string(jobs));
        StudyOutput output(study, folder, false);
        const auto summary = runLocal(study, output, {jobs, false, false});
        EXPECT_EQ(summary.ran, 6u);
        EXPECT_EQ(summary.failed, 2u); // the two cases with the far too long step
        rows[jobs - 1] = rowsOf(folder);
        fs::remove_all(folder);
    }
    EXPECT_EQ(rows[0], rows[1]);
    // Each row carries what the case's own scenario file gives when run alone.
    std::istringstream lines(rows[0]);
    std::string line;
    for (size_t i = 0; std::getline(lines, line); ++i) {
        const sim::Scenario alone = sim::Scenario::parse(study.caseText(i), "case.toml", ".");
        EXPECT_EQ(alone.blocks.size(), 2u);
        EXPECT_EQ(alone.blocks[0].name, "rig"); // the scenario's order, not the alphabet's
        MetricSink metrics(study.metrics(), alone);
        try {
            sim::runScenario(alone, metrics);
        } catch (const sim::SimulationError& error) {
            EXPECT_NE(line.find(std::string("failed,\"") + error.what()), std::string::npos)
                << line;
            continue;
        }
        for (double v : metrics.values()) {
            char text[32];
            std::snprintf(text, sizeof text, ",%.17g,", v);
            EXPECT_NE(line.find(text), std::string::npos) << line << " lacks " << text;
        }
    }
}

TEST(LocalRunner, ResumeKeepsCompleteRowsAndRefusesAnotherStudy) {
    const Study study = studyOf(small_study);
    const fs::path folder = freshFolder("resume");
    {
        StudyOutput output(study, folder, false);
        runLocal(study, output, {2, false, false});
    }
    const std::string complete = rowsOf(folder);
    // As if killed after two rows and in the middle of a third.
    const std::string text = readText(folder / "study.csv");
    size_t cut = 0;
    for (int n = 0; n < 3; ++n)
        cut = text.find('\n', cut) + 1;
    std::ofstream(folder / "study.csv", std::ios::trunc) << text.substr(0, cut) << "4,0.004,0.5,12";
    {
        StudyOutput output(study, folder, true);
        EXPECT_EQ(output.doneCount(), 2u);
        EXPECT_EQ(runLocal(study, output, {2, false, false}).ran, 4u);
    }
    EXPECT_EQ(rowsOf(folder), complete);
    EXPECT_THROW(StudyOutput(study, folder, false),
                 tavrel::ResultFolderError); // never overwrites a study
    const Study other = studyOf(small_study + "\n# another study\n");
    EXPECT_THROW(StudyOutput(other, folder, true), tavrel::ResultFolderError);
    fs::remove_all(folder);
}

// --keep-results: each case's folder holds its scenario file and the results.csv that scenario
// gives when run alone: every row, or for a failed case the rows up to its failure.
TEST(LocalRunner, KeptResultsAreWhatEachCaseGivesAlone) {
    const Study study = studyOf(small_study);
    const fs::path folder = freshFolder("keep");
    StudyOutput output(study, folder, false);
    runLocal(study, output, {2, false, true});
    std::istringstream lines(rowsOf(folder));
    std::string line;
    for (size_t i = 0; std::getline(lines, line); ++i) {
        const fs::path kept = folder / "cases" / std::to_string(i);
        ASSERT_EQ(readText(kept / "scenario.toml"), study.caseText(i));
        EXPECT_FALSE(fs::exists(kept / "results.csv.part"));
        const std::string alone = (folder / ("alone" + std::to_string(i) + ".csv")).string();
        bool ran = true;
        try {
            sim::CsvSink csv(alone);
            sim::runScenario(sim::Scenario::parse(study.caseText(i), "case.toml", "."), csv);
        } catch (const sim::SimulationError&) {
            ran = false;
        }
        EXPECT_EQ(ran, line.find(",ok,") != std::string::npos) << line;
        EXPECT_EQ(readText(kept / "results.csv"), readText(alone)) << "case " << i;
    }
    fs::remove_all(folder);
}

// A block that fails or takes its worker process down fails only its own case, with the reason
// in its row; the other cases run and every row is written.
TEST(LocalRunner, AWorkerThatDiesFailsOnlyItsCase) {
    const fs::path folder = freshFolder("crash");
    const fs::path plugins = folder.string() + "_plugins";
    fs::create_directories(plugins);
    fs::copy_file(TAVREL_FAKE_PLUGIN, plugins / "tavrel_fake.mexa64");
    std::ofstream(plugins / "tavrel_fake.toml")
        << "[[params]]\nname = \"output_count\"\ndefault = 2\n[[params]]\nname = \"output_width\"\n"
           "default = 1\n[[params]]\nname = \"failure\"\ndefault = 0\n[[inputs]]\nname = "
           "\"offset\"\n"
           "[[outputs]]\nname = \"position\"\n[[outputs]]\nname = \"spare\"\n";
    const std::string scenario = "[simulation]\nduration = 0.5\n[blocks.osc]\nplugin = \"" +
                                 (plugins / "tavrel_fake.mexa64").string() +
                                 "\"\n[blocks.osc.params]\noutput_count = 2\noutput_width = 1\n"
                                 "failure = 0\n[blocks.osc.inputs]\noffset = 0.5\n";
    const Study study = Study::fromSource(
        {"scenario = \"fake.toml\"\n[study]\nmetrics = [\"osc.position:max\"]\n[[study.vary]]\n"
         "key = \"osc.failure\"\nvalues = [0.0, 3.0, 2.0, 0.0]\n",
         "test.toml", scenario, "fake.toml", plugins.string()});
    StudyOutput output(study, folder, false);
    const auto summary = runLocal(study, output, {2, false, true});
    EXPECT_EQ(summary.ran, 4u);
    EXPECT_EQ(summary.failed, 2u);
    const std::string rows = rowsOf(folder);
    const std::string expected[] = {",ok,", "the worker process ended on signal 6 (Aborted)",
                                    "outputs raised an error", ",ok,"};
    std::istringstream lines(rows);
    std::string line;
    size_t i = 0;
    for (; std::getline(lines, line); ++i) {
        ASSERT_LT(i, std::size(expected)) << rows;
        EXPECT_EQ(line.rfind(std::to_string(i) + ",", 0), 0u) << line;
        EXPECT_NE(line.find(expected[i]), std::string::npos) << line;
    }
    EXPECT_EQ(i, std::size(expected)) << rows;
    EXPECT_FALSE(fs::exists(folder / "cases" / "1" / "results.csv.part"));
    EXPECT_TRUE(fs::exists(folder / "cases" / "3" / "results.csv"));
    fs::remove_all(folder);
    fs::remove_all(plugins);
}

// The default well with a small choke acts as closed at the top: the bottom pressure swings
// most at the half-wave period 2L/c = 6 s and least near the quarter-wave period 4L/c = 12 s.
TEST(Physics, PeriodSweepResonatesAtHalfWaveAndIsQuietAtQuarterWave) {
    const Study study = studyOf(R"(
scenario = "default"
[study]
metrics = ["rig.bottom_pressure:swing"]
[[study.vary]]
key = "rig.displacer_velocity.period"
values = [4.0, 5.0, 6.0, 8.0, 10.0, 12.0, 14.0, 16.0]
)");
    const fs::path folder = freshFolder("physics");
    StudyOutput output(study, folder, false);
    runLocal(study, output, {2, false, false});
    std::istringstream lines(rowsOf(folder));
    std::string line;
    double best = -1, worst = 1e300, best_period = 0, worst_period = 0;
    while (std::getline(lines, line)) {
        double index = 0, period = 0, swing = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,ok", &index, &period, &swing), 3) << line;
        if (swing > best) best = swing, best_period = period;
        if (swing < worst) worst = swing, worst_period = period;
    }
    EXPECT_EQ(best_period, 6.0);
    EXPECT_EQ(worst_period, 12.0);
    fs::remove_all(folder);
}

} // namespace
} // namespace tavrel::study
