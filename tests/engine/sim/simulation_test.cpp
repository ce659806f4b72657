// The engine driving the real plug-ins: physical checks of the rig through the host.
#include "result_files.h"
#include "scenario_text.h"
#include "simulation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

using namespace tavrel::sim;
using tavrel::test::parse;
using tavrel::test::rigScenario;

namespace {

// Column `name` of a finished run.
std::vector<double> column(const MemorySink& sink, const std::string& name) {
    size_t c = 0;
    while (c < sink.columns().size() && sink.columns()[c].name != name)
        ++c;
    EXPECT_LT(c, sink.columns().size()) << name;
    std::vector<double> values;
    const size_t width = sink.columns().size();
    for (size_t r = 0; r < sink.times().size(); ++r)
        values.push_back(sink.rows()[r * width + c]);
    return values;
}

std::string loadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

MemorySink run(const Scenario& scenario) {
    MemorySink sink;
    runScenario(scenario, sink);
    return sink;
}

// No displacer motion, no injection: the choke starts shut and the well stays at its
// hydrostatic profile.
TEST(Simulation, ShutInWellAtRestStaysHydrostatic) {
    const auto sink = run(parse(rigScenario("", "", "duration = 300.0\noutput_interval = 10.0\n")));
    for (const char* port : {"rig.bottom_pressure", "rig.sensor_pressure[1]",
                             "rig.sensor_pressure[2]", "rig.sensor_pressure[3]"}) {
        const auto p = column(sink, port);
        // Only the solver's tolerance moves them: a few pascal on hundreds of bar, bounded.
        for (double v : p)
            EXPECT_NEAR(v, p.front(), 1e-5 * p.front()) << port;
    }
    for (double q : column(sink, "rig.top_flow"))
        EXPECT_NEAR(q, 0.0, 1e-12);
    EXPECT_EQ(sink.times().size(), 31u);
}

// Injecting into the shut-in top raises the top pressure by about rho*c*q/A; the wave reaches
// the bottom after annulus_length/sound_speed.
TEST(Simulation, PressureStepAtTheTopReachesTheBottomAfterLengthOverSoundSpeed) {
    const auto sink = run(
        parse(rigScenario("inclination = 0.0\nfriction_linear = 0.0\nfriction_quadratic = 0.0\n",
                          "injection_flow = { step = { time = 1.0, after = 0.005 } }\n",
                          "duration = 6.0\noutput_interval = 0.005\n")));
    const auto p = column(sink, "rig.bottom_pressure");
    const double incident = 1300.0 * 1000.0 * 0.005 / 0.024;
    double arrival = -1;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] - p[0] > incident) { // the wall doubles the wave: half of the jump
            arrival = sink.times()[i] - 1.0;
            break;
        }
    }
    const double cell_time = 20.0 / 1000.0;
    EXPECT_NEAR(arrival, 3.0, 5 * cell_time);
    EXPECT_NEAR(p.back() - p[0], 2 * incident, 0.05 * incident);
}

TEST(Simulation, ChokeActuatorTakesAtLeastTheStrokeTimeForAFullStroke) {
    const auto sink = run(parse(
        rigScenario("", "choke_setpoint = 1.0\n", "duration = 14.0\noutput_interval = 0.1\n")));
    const auto z = column(sink, "rig.choke_opening");
    EXPECT_EQ(z.front(), 0.0);
    for (size_t i = 0; i < z.size(); ++i) {
        const double t = sink.times()[i];
        EXPECT_LE(z[i], t / 10.0 + 1e-9) << t;
        EXPECT_LE(z[i], 1.0 + 1e-3) << t;
    }
    EXPECT_NEAR(z.back(), 1.0, 1e-3);
}

TEST(Simulation, AlgebraicLoopIsRefusedNamingTheBlocks) {
    const std::string text = rigScenario(
        "", "displacer_velocity = { from = \"obs.displacer_velocity_estimate\" }\n", "",
        "[blocks.obs]\nplugin = \"tavrel_observer\"\n[blocks.obs.params]\nnum_fixed_outputs = 6\n"
        "gain_profile_up = [0.0, 0.0]\ngain_profile_down = [0.0, 0.0]\n"
        "displacer_quadrature_gain = 0.0\ndisplacer_velocity_gain = 0.0\n"
        "displacer_frequency = 0.5\n[blocks.obs.inputs]\n"
        "measured_top_flow = { from = \"rig.top_flow\" }\n");
    try {
        Simulation simulation(parse(text));
        FAIL() << "no error";
    } catch (const ScenarioError& error) {
        EXPECT_NE(std::string(error.what()).find("algebraic loop"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("rig, obs"), std::string::npos) << error.what();
    }
}

// A displacer accelerating without bound drives the pressures past any number: the run stops
// naming the block, and the rows logged until then are kept.
TEST(Simulation, NonFiniteValuesStopTheRunNamingBlockAndTime) {
    MemorySink sink;
    try {
        runScenario(parse(rigScenario("", "displacer_velocity = { ramp = { slope = -1e5 } }\n",
                                      "duration = 5.0\noutput_interval = 0.001\n")),
                    sink);
        FAIL() << "no error";
    } catch (const SimulationError& error) {
        EXPECT_NE(std::string(error.what()).find("block rig"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("t = "), std::string::npos) << error.what();
    }
    EXPECT_GT(sink.times().size(), 1u);
}

// Stepping in small pieces gives the rows of one run through when the inputs stay constant.
TEST(Simulation, SteppingReproducesAOneShotRun) {
    const Scenario scenario = Scenario::builtInDefault();
    Scenario shorter = scenario;
    shorter.duration = 2.0;
    const auto whole = run(shorter);
    Simulation stepped(shorter);
    MemorySink pieces;
    pieces.begin(stepped.columns());
    pieces.row(stepped.time(), stepped.loggedValues());
    for (int i = 1; i <= 8; ++i) {
        stepped.setInput("rig", "injection_flow", 0.01);
        stepped.advanceTo(0.25 * i, &pieces);
    }
    ASSERT_EQ(pieces.rows().size(), whole.rows().size());
    for (size_t i = 0; i < whole.rows().size(); ++i)
        EXPECT_EQ(pieces.rows()[i], whole.rows()[i]);
    EXPECT_NEAR(stepped.output("rig", "choke_opening"), stepped.input("rig", "choke_setpoint"),
                1e-12);
}

} // namespace

namespace {

// A plug-in the host has no description of: positional parameters, ports u0 and y0, its two
// oscillator states integrated with the rest (y0 = cos t + u0).
TEST(Simulation, UndescribedPluginRunsThroughItsHandshake) {
    const std::string block = "[simulation]\nduration = 3.0\noutput_interval = 0.5\n"
                              "rtol = 1e-9\natol = 1e-9\n"
                              "[blocks.osc]\nplugin = \"" TAVREL_FAKE_PLUGIN "\"\n";
    const auto sink = run(parse(block + "params = [1, 1, 0]\ninputs = { u0 = 0.5 }\n"));
    const auto y = column(sink, "osc.y0");
    for (size_t r = 0; r < y.size(); ++r)
        EXPECT_NEAR(y[r], std::cos(sink.times()[r]) + 0.5, 1e-6) << r;

    auto error = [&](const std::string& rest) {
        try {
            parse(block + rest);
        } catch (const ScenarioError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(error("params = [1, 1, 0, 4]\n")
                  .find("blocks.osc: plug-in " TAVREL_FAKE_PLUGIN
                        ": the plug-in declares 3 dialog parameters, but params gives 4"),
              std::string::npos);
    EXPECT_NE(error("params = [1, 2, 0]\n").find("output port 0 has width 2"), std::string::npos);
    EXPECT_NE(error("params = { p0 = 1 }\n").find("params: must be a list"), std::string::npos);
    EXPECT_NE(error("params = [1, 1, 0]\ninputs = { u1 = 0.5 }\n").find("unknown input port"),
              std::string::npos);
}

} // namespace

namespace {

// The example plug-in in the loop follows the built-in PI source with the same gains.
TEST(Simulation, ExampleControllerPluginMatchesTheBuiltInPi) {
    const std::string dir = TAVREL_SCENARIO_DIR;
    auto load = [&](const char* name) {
        Scenario s = Scenario::load(dir + "/" + name + ".toml");
        s.duration = 60;
        return s;
    };
    const auto builtin = run(load("closed_loop_pi"));
    const auto plugin = run(load("closed_loop_plugin"));
    for (const char* name : {"rig.bottom_pressure", "rig.choke_setpoint"}) {
        const auto a = column(builtin, name), b = column(plugin, name);
        ASSERT_EQ(a.size(), b.size());
        for (size_t r = 0; r < a.size(); ++r)
            EXPECT_NEAR(a[r], b[r], 1e-6 * std::abs(a[r]) + 1e-6) << name << " row " << r;
    }

    // Refused at loading, in one line naming the block and the plug-in file.
    const std::string text = loadText(dir + "/closed_loop_plugin.toml");
    const std::string params = "params = [412e5,         -2e-8,     -5e-9,         0.0, 1.0]";
    const struct {
        const char* params;
        const char* rule;
    } broken[] = {
        {"params = [412e5, -2e-8, -5e-9, 0.0]", "declares 5 dialog parameters, but 4 were given"},
        {"params = [412e5, -2e-8, -5e-9, 0.0, 1.0, 7.0]",
         "declares 5 dialog parameters, but params gives 6"},
        {"params = [412e5, -2e-8, -5e-9, 1.0, 0.0]", "min must not exceed max"},
    };
    for (const auto& c : broken) {
        std::string bad = text;
        bad.replace(bad.find(params), params.size(), c.params);
        try {
            Scenario::parse(bad, "plugin.toml", dir);
            ADD_FAILURE() << "accepted " << c.params;
        } catch (const ScenarioError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            EXPECT_NE(message.find("blocks.controller: plug-in "), std::string::npos) << message;
            EXPECT_NE(message.find("pi_choke_controller.mexa64: "), std::string::npos) << message;
            EXPECT_NE(message.find(c.rule), std::string::npos) << message;
        }
    }
}

} // namespace

namespace {

double swingOver(const MemorySink& sink, const std::string& name, double from) {
    const auto values = column(sink, name);
    double lo = INFINITY, hi = -INFINITY;
    for (size_t r = 0; r < values.size(); ++r) {
        if (sink.times()[r] < from) continue;
        lo = std::min(lo, values[r]);
        hi = std::max(hi, values[r]);
    }
    return hi - lo;
}

// The shipped compensation, shortened to 120 s: over its last 36 s the swing is below a quarter of
// the fixed choke's beside it, the mean near the setpoint, and the choke inside its travel.
TEST(Simulation, HeaveCompensatorCutsTheSwingOfTheFixedChoke) {
    Scenario s = Scenario::load(std::string(TAVREL_SCENARIO_DIR) + "/heave_compensation.toml");
    s.duration = 120;
    const auto sink = run(s);
    const double from = 84;
    const double compensated = swingOver(sink, "rig.bottom_pressure", from);
    EXPECT_LT(compensated, 0.25 * swingOver(sink, "fixed.bottom_pressure", from));
    const auto opening = column(sink, "rig.choke_opening");
    for (double z : opening)
        ASSERT_TRUE(z > 0 && z < 1) << z;
    const auto pressure = column(sink, "rig.bottom_pressure");
    EXPECT_NEAR(pressure.back(), 412e5, 1.5e5);

    // A parameter out of its rule is refused in one line naming it.
    const std::string text =
        loadText(std::string(TAVREL_SCENARIO_DIR) + "/heave_compensation.toml");
    const struct {
        const char* line;
        const char* broken;
    } cases[] = {
        {"filter_bandwidth = 0.15", "filter_bandwidth = 0.0"},
        {"anti_windup_time = 10.0", "anti_windup_time = -1.0"},
        {"integral_gain = 2e-9", "integral_gain = -2e-9"},
    };
    for (const auto& c : cases) {
        std::string bad = text;
        bad.replace(bad.find(c.line), std::string(c.line).size(), c.broken);
        const std::string param(c.line, std::string(c.line).find(' '));
        try {
            Scenario::parse(bad, "heave.toml", TAVREL_SCENARIO_DIR);
            ADD_FAILURE() << "accepted " << c.broken;
        } catch (const ScenarioError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("blocks.compensator.params." + param), std::string::npos)
                << message;
        }
    }
}

// A held table switched by the run gives the rows of a run whose input is set from outside at
// the same output times: what makes a served session's replay exact.
TEST(HeldTable, RunReproducesInputsSetBetweenIntervals) {
    const std::string sine =
        "displacer_velocity = { sine = { amplitude = 0.785, period = 12.0 } }\n";
    const std::vector<double> times = {0, 0.5, 1.25, 2}, values = {0.3, 0.6, 0.6001, 0.2};
    std::string held = "choke_setpoint = { table = { times = [0.0, 0.5, 1.25, 2.0], values = "
                       "[0.3, 0.6, 0.6001, 0.2], interpolation = \"previous\" } }\n";
    const auto simulation = "duration = 3.0\noutput_interval = 0.05\n";
    MemorySink replayed;
    runScenario(parse(rigScenario("", sine + held, simulation)), replayed);

    Simulation stepped(parse(rigScenario("", sine + "choke_setpoint = 0.3\n", simulation)));
    MemorySink served;
    served.begin(stepped.columns());
    size_t next = 0;
    for (long k = 0; k <= 60; ++k) {
        const double t = 0.05 * double(k);
        if (k > 0) stepped.advanceTo(t);
        if (next < times.size() && times[next] <= t)
            stepped.setInput("rig", "choke_setpoint", values[next++]);
        served.row(t, stepped.loggedValues());
    }
    ASSERT_EQ(served.rows().size(), replayed.rows().size());
    for (size_t i = 0; i < served.rows().size(); ++i)
        ASSERT_EQ(served.rows()[i], replayed.rows()[i]) << "value " << i;
}

} // namespace
