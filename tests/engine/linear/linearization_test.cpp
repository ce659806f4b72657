#include "frequency_response.h"
#include "linearization.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavrel::linear {
namespace {

double maxAbs(const Matrix& M) {
    double m = 0;
    for (double v : M.values)
        m = std::max(m, std::fabs(v));
    return m;
}

// The largest change of an entry, relative to the largest entry of its column (a column is one
// perturbed variable; its entries share that variable's step).
double columnChange(const Matrix& a, const Matrix& b) {
    double worst = 0;
    for (size_t c = 0; c < a.cols; ++c) {
        double scale = 0, change = 0;
        for (size_t r = 0; r < a.rows; ++r) {
            scale = std::max(scale, std::fabs(a(r, c)));
            change = std::max(change, std::fabs(a(r, c) - b(r, c)));
        }
        if (scale > 0) worst = std::max(worst, change / scale);
    }
    return worst;
}

LinearModel atStep(const sim::Scenario& scenario, double step) {
    LinearizeOptions options;
    options.step = step;
    return linearize(scenario, options);
}

// Neither the choke's bisection nor the actuator's rate limit shows: the matrices do not move
// over a decade of step sizes.
TEST(Linearization, MatricesDoNotDependOnTheStepOverADecade) {
    const auto scenario = sim::Scenario::builtInDefault();
    const LinearModel small = atStep(scenario, 3e-5), large = atStep(scenario, 3e-4);
    for (const auto& [name, a, b] :
         {std::tuple{"A", &small.A, &large.A}, std::tuple{"B", &small.B, &large.B},
          std::tuple{"C", &small.C, &large.C}, std::tuple{"D", &small.D, &large.D}}) {
        EXPECT_LT(columnChange(*a, *b), 1e-4) << name;
        EXPECT_GT(maxAbs(*a), 0) << name;
    }
}

// The default well's lightly damped modes sit at the wave's round trips 2L/c/k.
TEST(Linearization, DefaultWellResonatesAtTheRoundTrips) {
    const LinearModel model = linearize(sim::Scenario::builtInDefault(), {});
    const FrequencyResponse response(model.A, model.B, model.C, model.D);
    const auto out = std::find(model.outputs.begin(), model.outputs.end(), "rig.bottom_pressure") -
                     model.outputs.begin();
    const auto in = std::find(model.inputs.begin(), model.inputs.end(), "rig.displacer_velocity") -
                    model.inputs.begin();
    // The resonance as the peak of |bottom pressure / displacer velocity| near each 6/k s.
    for (int k = 1; k <= 3; ++k) {
        const double expected = model.wave_period / k;
        std::vector<double> omegas;
        for (int i = -400; i <= 400; ++i)
            omegas.push_back(2 * std::numbers::pi / (expected * (1 + 2e-5 * i)));
        const auto G = response.at(omegas);
        size_t best = 0;
        for (size_t f = 0; f < omegas.size(); ++f) {
            const auto g = [&](size_t at) {
                return std::abs(G[(at * model.outputs.size() + out) * model.inputs.size() + in]);
            };
            if (g(f) > g(best)) best = f;
        }
        const double period = 2 * std::numbers::pi / omegas[best];
        EXPECT_NEAR(period / expected, 1.0, 5e-3) << "k = " << k;
    }
}

// Bad requests: one line naming the item, before anything is computed.
TEST(Linearization, RefusesBadRequestsNamingTheItem) {
    const auto scenario = sim::Scenario::builtInDefault();
    const auto ins = [](std::string port) {
        LinearizeOptions o;
        o.inputs = {std::move(port)};
        return o;
    };
    const auto outs = [](std::string port) {
        LinearizeOptions o;
        o.outputs = {std::move(port)};
        return o;
    };
    const auto at = [](double t) {
        LinearizeOptions o;
        o.at = t;
        return o;
    };
    const struct {
        const char* what;
        LinearizeOptions options;
        const char* names;
    } cases[] = {
        {"unknown input", ins("rig.no_such_port"), "rig.no_such_port"},
        {"fed input", ins("observer.measured_top_flow"), "observer.measured_top_flow"},
        {"output as input", ins("rig.bottom_pressure"), "rig.bottom_pressure"},
        {"unknown output", outs("rig.nothing"), "rig.nothing"},
        {"not a port", outs("rig"), "rig"},
        {"beyond the run", at(500.0), "--at 500"},
        {"before the run", at(-1.0), "--at -1"},
    };
    for (const auto& c : cases) {
        try {
            linearize(scenario, c.options);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const LinearizeError& error) {
            EXPECT_NE(std::string(error.what()).find(c.names), std::string::npos)
                << c.what << ": " << error.what();
            EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << c.what;
        }
    }
}

// A closed choke with the pump on has no steady state: the trim says so.
TEST(Linearization, TrimWithoutSteadyStateIsRefused) {
    std::string text = sim::defaultScenarioText();
    const std::string held = "choke_setpoint = { hold = \"rig.choke_opening\" }";
    text.replace(text.find(held), held.size(), "choke_setpoint = 0.0");
    const auto scenario = sim::Scenario::parse(text, "closed.toml", ".");
    LinearizeOptions options;
    options.trim = true;
    try {
        linearize(scenario, options);
        ADD_FAILURE() << "trim accepted";
    } catch (const LinearizeError& error) {
        EXPECT_NE(std::string(error.what()).find("--trim"), std::string::npos) << error.what();
    }
}

// The shipped scenarios' steady states, past a singular Jacobian (the observer's carried state)
// and the choke actuator's rate limit (the choke step's setpoint far from its opening): the
// choke stands at its setpoint.
TEST(Linearization, TrimFindsTheShippedSteadyStates) {
    for (const auto& [name, opening] :
         {std::pair{"default", 0.4092593455122388}, std::pair{"choke_step", 0.2}}) {
        LinearizeOptions options;
        options.trim = true;
        options.outputs = {"rig.choke_opening"};
        const auto scenario =
            sim::Scenario::load(std::string(TAVREL_SCENARIO_DIR "/") + name + ".toml");
        const LinearModel model = linearize(scenario, options);
        EXPECT_TRUE(model.steady) << name << ": ||dx/dt|| = " << model.residual;
        EXPECT_NEAR(model.y0[0], opening, 1e-9) << name;
    }
}

// The trim of the closed PI loop reaches the setpoint; its poles are stable.
TEST(Linearization, ClosedLoopTrimIsAtTheSetpoint) {
    const auto scenario = sim::Scenario::load(TAVREL_SCENARIO_DIR "/closed_loop_plugin.toml");
    LinearizeOptions options;
    options.trim = true;
    const LinearModel model = linearize(scenario, options);
    EXPECT_LT(model.residual, 1e-6);
    const auto out = std::find(model.outputs.begin(), model.outputs.end(), "rig.bottom_pressure") -
                     model.outputs.begin();
    EXPECT_NEAR(model.y0[static_cast<size_t>(out)], 412e5, 1.0);
    EXPECT_EQ(model.states.back(), "controller.state[0]");
}

} // namespace
} // namespace tavrel::linear
