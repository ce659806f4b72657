#include "block_catalog.h"
#include "plausibility.h"
#include "scenario.h"
#include "scenario_text.h"
#include "simulation.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tavrel::sim;
using tavrel::test::parse;
using tavrel::test::rigScenario;

namespace {

// The scenario text with one parameter line replaced (or added to the rig's table).
std::string withParam(std::string text, const std::string& line) {
    const std::string key = line.substr(0, line.find(' '));
    const auto at = text.find("\n" + key + " = ");
    if (at == std::string::npos) {
        const std::string table = "[blocks.rig.params]\n";
        return text.insert(text.find(table) + table.size(), line);
    }
    const auto end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at, line);
}

// The error message of loading `text` and setting up its run, which must fail.
std::string errorOf(const std::string& text) {
    try {
        Simulation run(parse(text));
    } catch (const ScenarioError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error for:\n" << text;
    return "";
}

// Loading `text` fails with a message that holds `rule`.
void expectRefused(const std::string& text, const std::string& rule) {
    const std::string message = errorOf(text);
    EXPECT_NE(message.find(rule), std::string::npos) << message;
}

TEST(Scenario, DefaultHasTheRigAndTheObserverWithCompleteParameters) {
    const Scenario s = Scenario::builtInDefault();
    ASSERT_EQ(s.blocks.size(), 2u);
    EXPECT_EQ(s.blocks[0].name, "rig");
    EXPECT_EQ(s.blocks[1].kind, "tavrel_observer");
    const auto& rig = s.blocks[0].description();
    EXPECT_EQ(s.blocks[0].params.size(), rig.params.size());
    EXPECT_EQ(s.blocks[1].params.size(), s.blocks[1].description().params.size());
    const auto param = [&](const char* name) {
        return s.blocks[0].params.at(static_cast<std::size_t>(paramIndex(rig, name)));
    };
    EXPECT_EQ(param("annulus_length"), std::vector<double>{3000.0}); // from [well]
    EXPECT_EQ(param("passage_length"), std::vector<double>{0.0});    // not read by tavrel
    EXPECT_EQ(s.duration, 120.0);
    EXPECT_NE(s.blocks[0].inputs.at("displacer_velocity").as<source::Sine>(), nullptr);
}

// The shipped studies use the shipped blocks' described defaults, parameter for parameter
// (the default study's tuned observer included).
TEST(Scenario, ShippedScenariosHoldTheDescribedDefaults) {
    for (const char* name :
         {"default", "choke_step", "closed_loop_pi", "closed_loop_plugin", "linear", "piston"}) {
        const auto s = Scenario::load(std::string(TAVREL_SCENARIO_DIR) + "/" + name + ".toml");
        for (const auto& block : s.blocks) {
            if (block.described) continue; // a user's plug-in: no shipped defaults
            for (const auto& param : block.description().params) {
                if (!param.isRead()) continue;
                EXPECT_EQ(block.params[static_cast<size_t>(param.index)], param.defaults.toVector())
                    << name << ": " << block.name << "." << param.name;
            }
        }
    }
}

// A misspelt key is named at its own line with the nearest valid name, wherever it stands.
TEST(Scenario, TyposAreNamedWithTheNearestName) {
    std::string well_typo = rigScenario();
    well_typo.replace(well_typo.find("annulus_length"), 14, "annulus_lenght");
    const struct {
        std::string text, message;
    } cases[] = {
        {well_typo, "test.toml:5: well.annulus_lenght: unknown key (did you mean annulus_length?)"},
        {rigScenario("", "", "durration = 10.0\n"),
         "test.toml:2: simulation.durration: unknown key (did you mean duration?)"},
        {rigScenario("", "", "duration = 10.0\n", "[summary]\nperiods = 3\n[lgo]\n"),
         "scenario.lgo: unknown key (did you mean log?)"},
        {rigScenario("", "", "duration = 10.0\n", "[summary]\nperiod = 12.0\nperods = 3\n"),
         "summary.perods: unknown key (did you mean periods?)"},
        {rigScenario("", "", "duration = 10.0\nsolver = \"bdf\"\nzzz = 1\n"),
         "simulation.zzz: unknown key"},
        {rigScenario("", "injection_flow = { from = \"rig.top_flw\" }\n"),
         "no port \"rig.top_flw\" (did you mean rig.top_flow?)"},
        {rigScenario("", "", "duration = 10.0\n", "[log]\ncolumns = [\"rig.bottom_presure\"]\n"),
         "test.toml:35: log.columns: \"rig.bottom_presure\" matches no port (did you mean "
         "rig.bottom_pressure?)"},
    };
    for (const auto& c : cases) {
        const std::string message = errorOf(c.text);
        EXPECT_NE(message.find(c.message), std::string::npos)
            << message << "\n  expected: " << c.message;
        if (c.message.find("did you mean") == std::string::npos) {
            EXPECT_EQ(message.find("did you mean"), std::string::npos) << message;
        }
    }
}

TEST(Scenario, ErrorsNameFileLineKeyAndRule) {
    EXPECT_EQ(
        errorOf(rigScenario("annulus_lenght = 3\n")),
        "test.toml:31: blocks.rig.params.annulus_lenght: unknown parameter of tavrel (did you "
        "mean annulus_length?)");
    const std::string missing =
        errorOf("[blocks.rig]\nplugin = \"tavrel\"\n[blocks.rig.params]\nannulus_area = 1\n");
    EXPECT_NE(missing.find("test.toml:1: blocks.rig.params.density_ref: missing parameter"),
              std::string::npos)
        << missing;
    expectRefused(rigScenario("", "injection_flow = nan\n"), "must be a finite number");
    expectRefused(rigScenario("", "choke_position = 1\n"), "unknown input port");
    expectRefused("[blocks.x]\nplugin = \"nothing\"\n", "unknown block \"nothing\"");
    expectRefused("blocks = 3\n[simulation]\n", "blocks");
    expectRefused(rigScenario() + "[[oops", "test.toml:");
    expectRefused(rigScenario() + "[summary]\nperiods = 1e20\n",
                  "summary.periods: must be a whole number from 1");
    expectRefused(rigScenario("", "injection_flow = { square = 1.0 }\n"),
                  "inputs.injection_flow.square: unknown source kind (constant, step");
}

// A block name becomes a column ("rig.bottom_pressure"), a key ("rig.annulus_length") and page
// text: only names pass, the rest is refused at the block's line, shown cut short.
TEST(Scenario, BlockNamesAreNames) {
    for (const std::string& name : std::vector<std::string>{
             "ob.s", "=cmd|calc", "o</script><script>document.title=7</script>", "2rig", "r ig",
             "r\u2028ig", std::string(10000, 'a')}) {
        const std::string message = errorOf("[blocks.\"" + name + "\"]\nplugin = \"tavrel\"\n");
        EXPECT_EQ(message.rfind("test.toml:1: blocks: block \"", 0), 0u) << message;
        EXPECT_NE(message.find("must be a name"), std::string::npos) << message;
        EXPECT_LT(message.size(), 200u);
    }
}

// Each physical rule of the parameters, broken on its own and named where the value was
// written: the rig's own table or the shared [well] table.
TEST(Scenario, ParameterRulesAreCheckedBeforeAnythingRuns) {
    const std::pair<std::string, std::string> cases[] = {
        {"sensor_positions = [0.0, 3000.5]\n",
         "well.sensor_positions: entry 1 (3000.5) lies outside"},
        {"sensor_positions = [-1.0]\n", "well.sensor_positions: entry 0 (-1) lies outside"},
        {"num_fixed_outputs = 2\n", "blocks.rig.params.num_fixed_outputs: must be at least 0"},
        {"choke_characteristic = [0.0]\n",
         "blocks.rig.params.choke_characteristic: needs at least 2 entries"},
        {"choke_characteristic = [1e-4, 2e-4]\n",
         "blocks.rig.params.choke_characteristic: must start at 0"},
        {"choke_characteristic = [0.0, 2e-4, 1e-4]\n",
         "blocks.rig.params.choke_characteristic: must not decrease"},
        {"initial_top_pressure = 20\n",
         "test.toml:14: well.initial_top_pressure: must be above downstream_pressure (in block "
         "rig)"},
        {"annulus_area = 0.0\n", "well.annulus_area: must be positive"},
        {"sound_speed = -1.0\n", "well.sound_speed: must be positive"},
        {"choke_stroke_time = 0.0\n", "test.toml:28: blocks.rig.params.choke_stroke_time: must"},
        {"density_ref = 0.0\n", "well.density_ref: must be positive"},
        {"displacer_depth = -5.0\n", "well.displacer_depth: must not be negative"},
        {"annulus_length = [1.0, 2.0]\n", "well.annulus_length: must be a single number"},
    };
    for (const auto& [param, expected] : cases) {
        const std::string message = errorOf(withParam(rigScenario(), param));
        EXPECT_NE(message.find(expected), std::string::npos) << param << " gave: " << message;
    }
    // Exactly at the annulus length is allowed.
    EXPECT_NO_THROW(parse(withParam(rigScenario(), "sensor_positions = [3000.0]\n")));
}

TEST(Scenario, PistonAndObserverRules) {
    const std::string piston =
        rigScenario() +
        "[blocks.piston]\nplugin = \"tavrel_piston\"\n[blocks.piston.params]\n"
        "num_fixed_outputs = 7\ndownstream_pressure = 1e5\nchoke_stroke_time = 10.0\n"
        "choke_density = 1300.0\nchoke_characteristic = [0.0, 1e-3]\npassage_length = 2000.0\n"
        "passage_area_inner = 0.02\npassage_area_outer = 0.05\npassage_friction_linear = 0.5\n"
        "passage_friction_quadratic = 0.2\nchamber_bulk_modulus = 1.5e9\n";
    EXPECT_NO_THROW(parse(piston));
    std::string narrow = piston;
    narrow.replace(narrow.find("passage_area_outer = 0.05"), 25, "passage_area_outer = 0.01");
    expectRefused(narrow, "passage cross-section");

    const std::string observer =
        rigScenario() +
        "[blocks.obs]\nplugin = \"tavrel_observer\"\n[blocks.obs.params]\nnum_fixed_outputs = 6\n"
        "gain_profile_up = [1.0]\ngain_profile_down = [0.0, 0.0]\n"
        "displacer_quadrature_gain = 0.0\ndisplacer_velocity_gain = 0.0\n"
        "displacer_frequency = 0.5\n";
    expectRefused(observer, "blocks.obs.params.gain_profile_up: needs at least 2");
}

TEST(Scenario, SourcesAndPortReferences) {
    const Scenario s = parse(rigScenario(
        "", "displacer_velocity = { sum = [0.1, { step = { time = 2.0, after = 0.5 } }] }\n"
            "choke_setpoint = { pi = { measure = \"rig.sensor_pressure[3]\", setpoint = 2e6, "
            "kp = -1e-7, min = 0.0, max = 1.0, bias_from = \"rig.choke_opening\" } }\n"));
    const auto& v = s.blocks[0].inputs.at("displacer_velocity");
    ASSERT_NE(v.as<source::Sum>(), nullptr);
    EXPECT_EQ(v.as<source::Sum>()->terms[1].as<source::Step>()->after, 0.5);
    EXPECT_EQ(s.blocks[0].inputs.at("choke_setpoint").as<source::Pi>()->measure.port,
              "sensor_pressure[3]");
    expectRefused(rigScenario("", "injection_flow = { from = \"rig.sensor_pressure[4]\" }\n"),
                  "no port \"rig.sensor_pressure[4]\"");
    expectRefused(rigScenario("", "injection_flow = { sine = { amplitude = 1.0 } }\n"),
                  "needs \"period\"");
}

// The random sources' entries, each broken on its own, named at the input's line (the first
// input line of the rig scenario is line 33).
TEST(Scenario, BadSeaAndNoiseEntriesAreNamedAtTheirLine) {
    const std::string jonswap = "spectrum = \"jonswap\", hs = 3.0, tp = 12.0";
    const std::pair<std::string, std::string> cases[] = {
        {"sea = { hs = 3.0, tp = 12.0 }", "sea: needs \"spectrum\""},
        {"sea = { spectrum = \"bretschneider\", hs = 3.0, tp = 12.0 }",
         "sea.spectrum: must be jonswap or pierson_moskowitz"},
        {"sea = { spectrum = \"pierson_moskowitz\", hs = 3.0, tp = 12.0, gamma = 2.0 }",
         "sea.gamma: belongs to the jonswap spectrum"},
        {"sea = { spectrum = \"jonswap\", hs = -3.0, tp = 12.0 }", "sea.hs: must be positive"},
        {"sea = { " + jonswap + ", gamma = 0.5 }", "sea.gamma: must be from 1 to 20"},
        {"sea = { " + jonswap + ", components = 2.5 }",
         "sea.components: must be a whole number from 1 to 10000"},
        {"sea = { " + jonswap + ", seed = -1 }", "sea.seed: must be a whole number from 0"},
        {"sea = { " + jonswap + ", ramp = -1.0 }", "sea.ramp: must not be negative"},
        {"sea = { " + jonswap + ", period = 3.0 }", "period"},
        {"noise = { std = 0.02 }", "noise: needs \"bandwidth\""},
        {"noise = { std = -0.02, bandwidth = 1.0 }", "noise.std: must not be negative"},
    };
    for (const auto& [entry, rule] : cases) {
        const std::string message =
            errorOf(rigScenario("", "displacer_velocity = { " + entry + " }\n"));
        EXPECT_EQ(message.rfind("test.toml:33: blocks.rig.inputs.displacer_velocity.", 0), 0u)
            << message;
        EXPECT_NE(message.find(rule), std::string::npos) << message;
    }
    EXPECT_NO_THROW(parse(rigScenario("", "displacer_velocity = { sum = [{ sea = { " + jonswap +
                                              ", seed = 4 } }, "
                                              "{ noise = { std = 0.02, bandwidth = 1.0 } }] }\n")));
}

// A table's bad row is named where the user wrote it: the file's line, or the list's index.
TEST(Scenario, TableRowsAreNamedByTheirLine) {
    const std::string folder = ::testing::TempDir();
    std::ofstream(folder + "/backwards.csv") << "time,value\n0,1\n# a comment\n5,2\n4,3\n";
    const std::pair<std::string, std::string> cases[] = {
        {"{ file = \"backwards.csv\" }", "backwards.csv:5: times must increase"},
        {"{ times = [0.0, 2.0, 1.0], values = [1.0, 2.0, 3.0] }", "times[2]: times must increase"},
    };
    for (const auto& [table, rule] : cases) {
        try {
            Scenario::parse(rigScenario("", "injection_flow = { table = " + table + " }\n"),
                            "test.toml", folder);
            ADD_FAILURE() << table;
        } catch (const ScenarioError& error) {
            EXPECT_NE(std::string(error.what()).find(rule), std::string::npos) << error.what();
        }
    }
}

// A value may carry its unit as a user writes it; it is converted to the SI the blocks hold,
// and refused when its quantity is not the one the key holds.
TEST(Scenario, UnitsAsWrittenAreConvertedOrRefused) {
    const auto rigParam = [](const Scenario& s, const char* name) {
        const auto& rig = s.block("rig");
        return rig.params.at(static_cast<size_t>(paramIndex(rig.description(), name))).at(0);
    };
    const struct {
        std::string param;
        const char* name;
        double si;
    } converted[] = {
        {"initial_top_pressure = \"20 bar\"\n", "initial_top_pressure", 20e5},
        {"density_ref = \"1.3 sg\"\n", "density_ref", 1300},
        {"annulus_length = \"3 km\"\n", "annulus_length", 3000},
        {"inclination = \"90 deg\"\n", "inclination", 1.5707963267948966},
    };
    for (const auto& c : converted)
        EXPECT_DOUBLE_EQ(rigParam(parse(withParam(rigScenario(), c.param)), c.name), c.si);
    const Scenario timed = parse(rigScenario(
        "", "displacer_velocity = { sine = { amplitude = 0.785, period = \"12 s\" } }\n",
        "duration = \"0.5 min\"\n"));
    EXPECT_EQ(timed.duration, 30.0);
    EXPECT_EQ(timed.blocks[0].inputs.at("displacer_velocity").as<source::Sine>()->period, 12.0);

    const std::pair<std::string, std::string> refused[] = {
        {withParam(rigScenario(), "initial_top_pressure = \"20 s\"\n"),
         "test.toml:14: well.initial_top_pressure: \"20 s\" is a time [s], not a pressure [Pa]"},
        {withParam(rigScenario(), "annulus_length = \"3 furlong\"\n"),
         "well.annulus_length: unknown unit \"furlong\" (expected a length [m])"},
        {withParam(rigScenario(), "num_fixed_outputs = \"7 m\"\n"),
         "num_fixed_outputs: \"7 m\" is a length [m], not a plain number"},
        {rigScenario("", "", "duration = \"10 bar\"\n"),
         "simulation.duration: \"10 bar\" is a pressure [Pa], not a time [s]"},
        {rigScenario("", "injection_flow = \"600 bar\"\n"), "not a flow [m3/s]"},
    };
    for (const auto& [text, message] : refused)
        EXPECT_NE(errorOf(text).find(message), std::string::npos) << errorOf(text);
}

// A table file's heading may give its units: they are honoured, or the heading is refused,
// never read as seconds and SI.
TEST(Scenario, TableHeadingUnitsAreHonouredOrRefused) {
    const std::string folder = ::testing::TempDir();
    std::ofstream(folder + "/minutes.csv") << "time [min],flow [L/min]\n0,600\n2,1200\n";
    std::ofstream(folder + "/kilos.csv") << "time [kg],flow\n0,1\n";
    const auto table = [&](const char* file) {
        return Scenario::parse(rigScenario("", std::string("injection_flow = { table = { file = "
                                                           "\"") +
                                                   file + "\" } }\n"),
                               "test.toml", folder);
    };
    const Scenario minutes = table("minutes.csv");
    const auto* t = minutes.blocks[0].inputs.at("injection_flow").as<source::Table>();
    EXPECT_EQ(t->times, (std::vector<double>{0, 120}));
    EXPECT_DOUBLE_EQ(t->values[1], 0.02);
    try {
        table("kilos.csv");
        ADD_FAILURE() << "a time in kg was read";
    } catch (const ScenarioError& error) {
        EXPECT_NE(std::string(error.what()).find("kilos.csv:1: column \"time [kg]\""),
                  std::string::npos)
            << error.what();
    }
}

// A period in minutes read as seconds (0.2 for 12 s) runs, but not without a word.
TEST(Scenario, PeriodsOfAFewOutputRowsAreWarnedAbout) {
    const auto warnings = [](const std::string& period) {
        return plausibilityWarnings(parse(rigScenario(
            "", "displacer_velocity = { sine = { amplitude = 0.785, period = " + period + " } }\n",
            "duration = 10.0\noutput_interval = 0.05\n")));
    };
    ASSERT_EQ(warnings("0.2").size(), 1u);
    EXPECT_NE(warnings("0.2")[0].find("blocks.rig.inputs.displacer_velocity.sine.period: a period "
                                      "of 0.2 s is shorter than 10 output intervals"),
              std::string::npos)
        << warnings("0.2")[0];
    EXPECT_TRUE(warnings("12.0").empty());
}

// A sine heave far from the period the observer is tuned to runs, but names both places.
TEST(Scenario, HeavesFarFromTheObserversTuningAreWarnedAbout) {
    struct Case {
        const char* heave;
        const char* tuning; // the observer's displacer_frequency, rad/s
        const char* warned; // "": no warning
    };
    const Case cases[] = {
        {"{ sine = { amplitude = 0.785, period = 14.0 } }", "0.5235987755982988", ""},
        {"{ sine = { amplitude = 0.785, period = 6.0 } }", "0.5235987755982988",
         "blocks.rig.inputs.displacer_velocity.sine.period: a heave period of 6 s (test.toml:33) "
         "is 50 % off the 12 s that displacer_frequency = 0.5236 rad/s (test.toml:43) tunes "
         "observer to: set displacer_frequency to 2*pi/6 = 1.047 rad/s"},
        {"{ sine = { amplitude = 0.785, period = 6.0 } }", "1.0471975511965976", ""},
        {"{ sum = [{ sine = { amplitude = 0.785, period = 24.0 } }, 0.1] }", "0.5",
         "blocks.rig.inputs.displacer_velocity.sum[0].sine.period: a heave period of 24 s"},
        {"{ sea = { spectrum = \"jonswap\", hs = 3.0, tp = 6.0 } }", "0.5235987755982988",
         ""}, // no one period
    };
    for (const auto& c : cases) {
        const auto warnings = plausibilityWarnings(parse(rigScenario(
            "", std::string("displacer_velocity = ") + c.heave + "\n", "duration = 10.0\n",
            std::string(
                "[blocks.observer]\nplugin = \"tavrel_observer\"\n[blocks.observer.params]\n"
                "num_fixed_outputs = 6\ngain_profile_up = [0.0, 0.0]\n"
                "gain_profile_down = [0.0, 0.0]\ndisplacer_quadrature_gain = 8.0\n"
                "displacer_velocity_gain = 1.0\ndisplacer_frequency = ") +
                c.tuning +
                "\n[blocks.observer.inputs]\nmeasured_top_flow = { from = \"rig.top_flow\" }\n")));
        ASSERT_EQ(warnings.size(), *c.warned ? 1u : 0u) << c.heave;
        if (*c.warned) {
            EXPECT_NE(warnings[0].find(c.warned), std::string::npos) << warnings[0];
        }
    }
}

TEST(Scenario, OverridesByNameAreValidatedAndUndoneOnError) {
    Scenario s = parse(rigScenario());
    const auto length = [&] {
        const auto& rig = s.block("rig");
        const int k = paramIndex(rig.description(), "annulus_length");
        return rig.params.at(static_cast<std::size_t>(k));
    };
    s.set("rig", "annulus_length", {4000});
    EXPECT_EQ(length(), std::vector<double>{4000});
    EXPECT_THROW(s.set("rig", "annulus_length", {500}), ScenarioError); // sensors beyond it
    EXPECT_EQ(length(), std::vector<double>{4000});
    EXPECT_THROW(s.set("rig", "no_such", {1}), ScenarioError);
    EXPECT_THROW(s.set("well", "annulus_length", {1}), ScenarioError);
    EXPECT_EQ(length(), std::vector<double>{4000});
}

// "well" sets a parameter in every block that declares it, as the [well] table does; a typo of
// a block, a parameter or a well key is answered with the nearest name.
TEST(Scenario, OverridesOfTheWellReachEveryBlock) {
    Scenario s = Scenario::builtInDefault();
    s.set("well", "density_ref", {1400});
    for (const char* name : {"rig", "observer"}) {
        const auto& b = s.block(name);
        EXPECT_EQ(b.params[static_cast<size_t>(paramIndex(b.description(), "density_ref"))],
                  std::vector<double>{1400})
            << name;
    }
    const std::pair<std::pair<const char*, const char*>, const char*> typos[] = {
        {{"rgi", "density_ref"}, "no block \"rgi\" (did you mean rig?)"},
        {{"rig", "densty_ref"}, "unknown parameter of tavrel (did you mean density_ref?)"},
        {{"well", "densty_ref"},
         "well.densty_ref: no block has this parameter (did you mean "
         "density_ref?)"}};
    for (const auto& [where, message] : typos) {
        try {
            s.set(where.first, where.second, {1});
            ADD_FAILURE() << where.first;
        } catch (const ScenarioError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

} // namespace

namespace {

// Every shipped scenario loads and passes validation.
TEST(Scenario, ShippedScenariosLoad) {
    for (const char* name :
         {"default", "choke_step", "closed_loop_pi", "closed_loop_plugin", "linear", "piston"}) {
        EXPECT_NO_THROW(Scenario::load(std::string(TAVREL_SCENARIO_DIR) + "/" + name + ".toml"))
            << name;
    }
}

// The [serve] table names what a served plant's clients write and read: a misspelt key or port
// is refused by its line with the nearest name, and so is an input whose fall-back could not
// be replayed.
TEST(Scenario, ServeTableRefusesUnknownKeysPortsAndUnreplayableInputs) {
    auto text = [](const std::string& serve) {
        return rigScenario("",
                           "choke_setpoint = { pi = { measure = \"rig.bottom_pressure\", "
                           "setpoint = 4e7 } }\n",
                           "duration = 10.0\n", "[serve]\n" + serve);
    };
    struct Case {
        std::string serve, message;
    } cases[] = {
        {"wirte = []\n", "test.toml:36: serve.wirte: unknown key (did you mean write?)"},
        {"write = [\"rig.injection_flw\"]\n",
         "serve.write[0]: no input port \"rig.injection_flw\" (did you mean rig.injection_flow?)"},
        {"write = [\"rig.bottom_pressure\"]\n", "no input port \"rig.bottom_pressure\""},
        {"read = [\"rig.bottom_presure\"]\n", "(did you mean rig.bottom_pressure?)"},
        {"write = [\"rig.choke_setpoint\"]\n", "is a PI controller"},
        {"write = [{ input = \"rig.injection_flow\", min = 1.0, max = 0.0 }]\n",
         "min must not exceed max"},
        {"read = [\"rig.top_flow\", \"rig.top_flow\"]\n", "is named twice"},
        {"format = \"int16\"\n", "serve.format: must be \"float32\" or \"float64\""},
        {"timeout = 0.0\n", "serve.timeout: must be positive"},
    };
    for (const auto& c : cases)
        expectRefused(text(c.serve), c.message);
    const Scenario s = parse(text("write = [{ input = \"rig.injection_flow\", max = 0.1 }]\n"
                                  "format = \"float64\"\n"));
    ASSERT_EQ(s.serve.write.size(), 1u);
    EXPECT_EQ(s.serve.write[0].max, 0.1);
    EXPECT_EQ(s.serve.format, ValueFormat::float64);
}

} // namespace

namespace {

// Sensors written from the top follow the block's length; a number stays metres from the
// bottom.
TEST(Scenario, SensorsWrittenFromTheTopFollowTheLength) {
    Scenario s = parse(withParam(rigScenario(), "sensor_positions = [\"bottom\", 500.0, "
                                                "{ depth = 1000.0 }, \"top\"]\n"));
    s.set("well", "annulus_length", {4000});
    const auto& rig = s.block("rig");
    EXPECT_EQ(rig.params[static_cast<size_t>(rig.description().sensor_positions_param)],
              (std::vector<double>{0, 500, 3000, 4000}));
    expectRefused(withParam(rigScenario(), "sensor_positions = [\"middle\"]\n"),
                  "sensor_positions[0]: must be metres from the bottom, \"bottom\", \"top\"");
}

// A block value against the well: refused where no reading makes sense (a top pressure read
// below the top, a sensor beyond the annulus), else one warning naming both places.
TEST(Scenario, BlocksThatContradictTheWellAreRefusedOrWarned) {
    std::string numbered = defaultScenarioText();
    numbered.replace(numbered.find("\"top\"]"), 6, "3000.0]");
    const struct {
        const char* what;
        std::string text;
        const char* block;
        const char* param;
        double value;
        std::string refused, warned; // one of them, or neither
    } cases[] = {
        {"the top sensor follows", defaultScenarioText(), "rig", "annulus_length", 5000, "",
         "blocks.rig.params.annulus_length = 5000 (set rig.annulus_length) differs from "
         "well.annulus_length = 3000 (<default scenario>:15), which observer keeps"},
        {"a sensor 2000 m below the top", numbered, "rig", "annulus_length", 5000,
         "blocks.observer.inputs.measured_top_pressure: expects the pressure at the top, but "
         "rig.sensor_pressure[3] is 3000 m from the bottom (sensor_positions from "
         "<default scenario>:31) of rig's 5000 m annulus (annulus_length from set "
         "rig.annulus_length)",
         ""},
        {"a sensor beyond the annulus", numbered, "well", "annulus_length", 2500,
         "entry 3 (3000) lies outside [0, annulus_length = 2500] (sensor_positions from "
         "<default scenario>:31, annulus_length from set well.annulus_length)",
         ""},
        {"the well moved whole", defaultScenarioText(), "well", "annulus_length", 5000, "", ""},
        {"a lighter mud in the observer", defaultScenarioText(), "observer", "density_ref", 1250,
         "", "observer.params.density_ref = 1250 (set observer.density_ref) differs"},
    };
    for (const auto& c : cases) {
        Scenario s = Scenario::parse(c.text, "<default scenario>", ".");
        std::string refusal;
        try {
            s.set(c.block, c.param, {c.value});
            s.checkOneWell();
        } catch (const ScenarioError& error) {
            refusal = error.what();
        }
        const auto warnings = s.wellWarnings();
        if (!c.refused.empty()) {
            EXPECT_NE(refusal.find(c.refused), std::string::npos) << c.what << ": " << refusal;
            continue;
        }
        EXPECT_EQ(refusal, "") << c.what;
        EXPECT_EQ(warnings.size(), c.warned.empty() ? 0u : 1u) << c.what;
        if (!warnings.empty() && !c.warned.empty()) {
            EXPECT_NE(warnings[0].find(c.warned), std::string::npos) << warnings[0];
        }
    }
}

} // namespace
