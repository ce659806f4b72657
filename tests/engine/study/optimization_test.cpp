#include "block_catalog.h"
#include "evaluation_log.h"
#include "metrics.h"
#include "optimization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tavrel::study {
namespace {

namespace fs = std::filesystem;

// A folder with an optimisation file's measured data files, named like the file's folder.
struct Folder {
    fs::path path = fs::temp_directory_path() / ("tavrel_optimize_" + std::to_string(getpid()));
    Folder() {
        fs::create_directories(path);
        write("good.csv", "time [s],bottom_pressure [Pa]\n0,4e7\n1,4.1e7\n");
        write("two.csv", "time [s],top_flow [m3/s],choke_flow [m3/s]\n0,1,2\n");
        write("empty.csv", "time [s],bottom_pressure [Pa]\n");
        write("unsorted.csv", "time,p\n0,1\n2,1\n1,1\n");
        write("text.csv", "time,p\n0,1\n1,high\n");
        write("kilos.csv", "time [kg],bottom_pressure [bar]\n0,400\n");
    }
    ~Folder() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name) << text;
    }
    Optimization load(const std::string& text) const {
        return Optimization::fromSource({text, (path / "opt.toml").string(),
                                         sim::defaultScenarioText(), "<default scenario>",
                                         path.string()});
    }
};

const std::string vary = "[[optimize.vary]]\nkey = \"rig.choke_setpoint\"\nbounds = [0.1, 0.9]\n";

TEST(OptimizationFile, BadFilesNameLineKeyAndRule) {
    const Folder folder;
    const std::string head = "[simulation]\nduration = 2.0\n[optimize]\n";
    const struct {
        std::string text, message;
    } cases[] = {
        {head + "minimize = \"rig.bottom_pressure:swing\"\n[[optimize.vary]]\nkey = "
                "\"rig.no_such\"\nbounds = [0, 1]\n",
         "opt.toml:5: optimize.vary[0]: rig.no_such = 0: <default scenario>: "
         "blocks.rig.params.no_such: unknown parameter"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\n[[optimize.vary]]\nkey = "
                "\"rig.choke_setpoint\"\nbounds = [0.9, 0.1]\n",
         "opt.toml:7: optimize.vary[0].bounds: must be [LOWER, UPPER] with LOWER < UPPER"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\n[[optimize.vary]]\nkey = "
                "\"rig.choke_setpoint\"\nbounds = [0.1, inf]\n",
         "opt.toml:7: optimize.vary[0].bounds[1]: must be a finite number"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\n" + vary + "start = 0.95\n",
         "opt.toml:8: optimize.vary[0].start: must lie within the bounds"},
        {head + "minimize = \"rig.no_column:swing\"\n" + vary,
         "opt.toml:4: optimize.minimize: \"rig.no_column:swing\": no logged column "
         "\"rig.no_column\""},
        {head + "minimize = \"rig.bottom_pressure~missing.csv:rms\"\n" + vary,
         "opt.toml:4: optimize.minimize: \"rig.bottom_pressure~missing.csv:rms\": cannot read the "
         "measured file"},
        {head + "minimize = \"rig.bottom_pressure~empty.csv:rms\"\n" + vary,
         "empty.csv: no measured rows"},
        {head + "minimize = \"rig.bottom_pressure~unsorted.csv:rms\"\n" + vary,
         "unsorted.csv:4: times must increase"},
        {head + "minimize = \"rig.bottom_pressure~text.csv:rms\"\n" + vary,
         "text.csv:3: not a row of numbers"},
        {head + "minimize = \"rig.bottom_pressure~kilos.csv:rms\"\n" + vary,
         "kilos.csv:1: column \"time [kg]\": unknown unit \"kg\" (expected a time [s])"},
        {head + "minimize = \"rig.bottom_pressure~two.csv:rms\"\n" + vary,
         "two.csv:1: no column \"bottom_pressure\""},
        {head + "minimize = \"rig.bottom_pressure~good.csv:max\"\n" + vary,
         "a misfit's statistic must be rms"},
        {head +
             "minimize = \"rig.bottom_pressure:swing\"\nsubject_to = [\"rig.choke_opening <= "
             "0.9\"]\n" +
             vary,
         "opt.toml:5: optimize.subject_to: \"rig.choke_opening\": must be COLUMN:STAT"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\nsubject_to = [\"<= 0.9\"]\n" + vary,
         "opt.toml:5: optimize.subject_to: \"<= 0.9\": names no metric"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\nmethod = \"newton\"\n" + vary,
         "opt.toml:5: optimize.method: must be \"nelder-mead\" or \"differential-evolution\""},
        {head + "minimize = [\"rig.bottom_pressure:swing\"]\nweights = [1, 2]\n" + vary,
         "opt.toml:5: optimize.weights: needs one weight per metric"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\nmax_evaluation = 3\n" + vary,
         "opt.toml:5: optimize.max_evaluation: unknown key"},
        {head + "minimize = \"rig.bottom_pressure:swing\"\n[[optimize.vary]]\nkey = "
                "\"rig.displacer_velocity.period\"\nbounds = [\"6 s\", \"20 bar\"]\n",
         "opt.toml:7: optimize.vary[0].bounds[1]: \"20 bar\" is a pressure [Pa], not a time [s]"},
        {head +
             "minimize = \"rig.bottom_pressure:swing\"\nsubject_to = [\"rig.bottom_pressure:mean "
             ">= 411 s\"]\n" +
             vary,
         "opt.toml:5: optimize.subject_to: \"rig.bottom_pressure:mean >= 411 s\": the limit: \"411 "
         "s\" is a time [s], not a pressure [Pa]"},
    };
    for (const auto& c : cases) {
        try {
            folder.load(c.text);
            ADD_FAILURE() << "accepted:\n" << c.text;
        } catch (const StudyError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
                << error.what() << "\n  expected: " << c.message;
        }
    }
}

TEST(OptimizationFile, BatchesAreStudiesOfTheirPoints) {
    const Folder folder;
    const auto opt = folder.load("[simulation]\nduration = 2.0\n[optimize]\n"
                                 "minimize = \"rig.bottom_pressure~good.csv:rms\"\n"
                                 "subject_to = [\"rig.choke_opening:max <= 0.95\"]\n" +
                                 vary);
    EXPECT_EQ(opt.metrics(), (std::vector<std::string>{"rig.bottom_pressure~good.csv:rms",
                                                       "rig.choke_opening:max"}));
    EXPECT_DOUBLE_EQ(opt.vary()[0].start, 0.5);
    // Bounds, start and limits may carry their units.
    const auto period = folder.load("[simulation]\nduration = 2.0\n[optimize]\nminimize = "
                                    "\"rig.bottom_pressure:swing\"\nsubject_to = "
                                    "[\"rig.bottom_pressure:mean >= 411.5 bar\"]\n"
                                    "[[optimize.vary]]\nkey = "
                                    "\"rig.displacer_velocity.period\"\nbounds = [\"0.1 min\", "
                                    "18.0]\nstart = \"12 s\"\n");
    EXPECT_EQ(std::vector<double>(
                  {period.vary()[0].lower, period.vary()[0].upper, period.vary()[0].start}),
              (std::vector<double>{6, 18, 12}));
    EXPECT_DOUBLE_EQ(period.constraints()[0].limit, 411.5e5);
    const double odd = 0.1 + 1e-16 * 3; // the batch carries every bit of a point
    const Study batch = opt.batch({{0.3}, {odd}});
    ASSERT_EQ(batch.caseCount(), 2u);
    EXPECT_EQ(batch.caseValues(1)[0], odd);
    const auto result = batch.run(0);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_GT(result.values[0], 0);
}

// A killed search resumes from its complete rows, spelt as they were; another optimisation's
// folder, or a used one without resume, is refused.
TEST(EvaluationLog, ResumesCompleteRowsAndRefusesAnotherOptimization) {
    const Folder folder;
    const std::string text = "[simulation]\nduration = 2.0\n[optimize]\n"
                             "minimize = \"rig.bottom_pressure:swing\"\n" +
                             vary;
    const auto opt = folder.load(text);
    const fs::path dir = folder.path / "run";
    {
        EvaluationLog log(opt, dir, false, false);
        log.append({{0.1}, 2.5, {2.5}, "ok", ""});
        log.append({{0.3}, 1.0, {1.0}, "ok", ""});
        log.append({{0.5}, NAN, {NAN}, "failed", "stopped, \"early\""});
        EXPECT_EQ(log.best(), 1);
    }
    std::ofstream(dir / "evaluations.csv", std::ios::app) << "3,0.7,1"; // cut by a kill
    EvaluationLog resumed(opt, dir, true, false);
    ASSERT_EQ(resumed.evaluations().size(), 3u);
    EXPECT_EQ(resumed.best(), 1);
    EXPECT_EQ(resumed.evaluations()[2].error, "stopped, \"early\"");
    EXPECT_TRUE(std::isnan(resumed.evaluations()[2].metrics[0]));
    std::ifstream in(dir / "evaluations.csv");
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "evaluation,rig.choke_setpoint [1],objective [Pa],"
                                             "rig.bottom_pressure:swing [Pa],status,error");
    EXPECT_EQ(
        csv.substr(csv.find('\n') + 1),
        "0,0.1,2.5,2.5,ok,\n1,0.3,1.0,1.0,ok,\n2,0.5,nan,nan,failed,\"stopped, \"\"early\"\"\"\n");
    EXPECT_THROW(EvaluationLog(opt, dir, false, false), ResultFolderError);
    EXPECT_THROW(EvaluationLog(folder.load(text + "start = 0.2\n"), dir, true, false),
                 ResultFolderError);
}

TEST(MisfitMetric, RmsOfTheDifferenceOverTheTimesTheSeriesCovers) {
    const Folder folder;
    folder.write("m.csv", "time [s],rig.x [Pa]\n1,10\n3,30\n");
    Metric metric;
    ASSERT_EQ(parseMetric("rig.x~m.csv:rms", metric), "");
    ASSERT_EQ(loadMeasured(metric, folder.path.string()), "");
    sim::Scenario scenario;
    scenario.duration = 4;
    MetricSink sink({metric}, scenario);
    sink.begin({{"rig.x", "Pa", "rig", "x", true}});
    // Measured 10, 20, 30 at t = 1, 2, 3 (interpolated); t = 0 and 4 lie outside.
    for (auto [t, v] : {std::pair{0.0, 99.0}, {1.0, 13.0}, {2.0, 16.0}, {3.0, 30.0}, {4.0, 99.0}}) {
        sink.row(t, {v});
    }
    EXPECT_DOUBLE_EQ(sink.values()[0], std::sqrt((9.0 + 16.0 + 0.0) / 3.0));
}

} // namespace
} // namespace tavrel::study
