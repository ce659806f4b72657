// Every shipped block's FMU through a small importer: Model Exchange and Co-Simulation agree,
// the rig FMU reproduces `tavrel run`, instances are independent and reset, and misuse is
// refused with a logged message naming the variable.
#include "fmu_importer.h"

#include "block_descriptions.h"
#include "fmu_export.h"
#include "model_description.h"
#include "scenario.h"
#include "simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>

namespace tavrel::fmitest {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> shippedBlocks() {
    std::vector<std::string> names;
    for (const BlockDescription* block : host::knownBlocks())
        names.emplace_back(block->name);
    return names;
}

// Each block's FMU exported with its default well, unpacked once for the whole program.
const UnpackedFmu& fmuOf(const std::string& block) {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / ("tavrel_fmu_test_" + std::to_string(getpid()));
        fs::create_directories(f);
        return f;
    }();
    static std::map<std::string, std::unique_ptr<UnpackedFmu>> fmus;
    auto& fmu = fmus[block];
    if (!fmu) {
        const std::string file = (folder / (block + ".fmu")).string();
        fmi::exportFmu(
            {block, defaultParams(*host::findDescription(block)), fmi::FmuInterfaces::both, file});
        fmu = std::make_unique<UnpackedFmu>(file, (folder / block).string());
    }
    return *fmu;
}

// The default scenario's rig inputs: heave, constant injection, choke held at its start.
RunPlan rigPlan(double duration) {
    const double w = 2 * std::numbers::pi / 12, a = 0.785;
    RunPlan plan;
    plan.inputs = {{"displacer_velocity", [=](double t) { return a * std::sin(w * t); },
                    [=](double t) { return a * w * std::cos(w * t); },
                    [=](double t) { return -a * w * w * std::sin(w * t); }},
                   {"injection_flow", [](double) { return 0.01; }}};
    plan.hold = {{"choke_setpoint", "choke_opening"}};
    plan.watched = {"bottom_pressure"};
    plan.duration = duration;
    return plan;
}

RunPlan observerPlan(double duration) {
    RunPlan plan;
    plan.inputs = {{"measured_top_flow", [](double t) { return 0.01 * std::sin(t); },
                    [](double t) { return 0.01 * std::cos(t); },
                    [](double t) { return -0.01 * std::sin(t); }},
                   {"measured_top_pressure", [](double) { return 20e5; }}};
    plan.watched = {"bottom_pressure"};
    plan.duration = duration;
    return plan;
}

// A heave estimate and a pressure swinging about the setpoint, the choke at 0.4 below a top
// pressure of 15 bar.
RunPlan compensatorPlan(double duration) {
    RunPlan plan;
    plan.inputs = {{"displacer_velocity_estimate", [](double t) { return 0.8 * std::sin(t); },
                    [](double t) { return 0.8 * std::cos(t); },
                    [](double t) { return -0.8 * std::sin(t); }},
                   {"held_pressure", [](double t) { return 412e5 + 2e5 * std::cos(t); }},
                   {"choke_opening", [](double) { return 0.4; }},
                   {"top_pressure", [](double) { return 15e5; }}};
    plan.watched = {"choke_setpoint"};
    plan.duration = duration;
    return plan;
}

// A heave and a pressure swinging about the setpoint, the choke at 0.4.
RunPlan seaCompensatorPlan(double duration) {
    RunPlan plan;
    plan.inputs = {{"heave_measurement", [](double t) { return 0.8 * std::sin(t); },
                    [](double t) { return 0.8 * std::cos(t); },
                    [](double t) { return -0.8 * std::sin(t); }},
                   {"held_pressure", [](double t) { return 412e5 + 2e5 * std::cos(t); }},
                   {"choke_opening", [](double) { return 0.4; }}};
    plan.watched = {"choke_setpoint"};
    plan.duration = duration;
    return plan;
}

RunPlan planFor(const std::string& block, double duration) {
    static const std::map<std::string, RunPlan (*)(double)> plans = {
        {"tavrel_observer", &observerPlan},
        {"heave_compensator", &compensatorPlan},
        {"sea_compensator", &seaCompensatorPlan}};
    const auto plan = plans.find(block);
    return plan == plans.end() ? rigPlan(duration) : plan->second(duration);
}

// Every value within `relative` of the expected one or, with `of_column`, of the largest
// magnitude in its column (for signals that pass through zero).
void expectClose(const Rows& a, const Rows& b, double relative, const std::string& what,
                 bool of_column = false) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t c = 0; c < b.front().size(); ++c) {
        double scale = 0;
        for (const auto& row : b)
            scale = std::max(scale, std::abs(row[c]));
        for (std::size_t r = 0; r < a.size(); ++r)
            ASSERT_NEAR(a[r][c], b[r][c], relative * (of_column ? scale : std::abs(b[r][c])))
                << what << ", row " << r << ", column " << c;
    }
}

class EveryBlock : public testing::TestWithParam<std::string> {};

// Both interfaces of every block run, give finite outputs, and agree with each other.
TEST_P(EveryBlock, ModelExchangeAndCoSimulationAgree) {
    const UnpackedFmu& fmu = fmuOf(GetParam());
    RunPlan plan = planFor(GetParam(), 6); // the waves reach the top by then
    plan.watched = fmu.outputs();
    Slave me(fmu, fmi2ModelExchange), cs(fmu, fmi2CoSimulation);
    const Rows me_rows = runModelExchange(me, plan);
    const Rows cs_rows = runCoSimulation(cs, plan);
    for (const auto& row : me_rows)
        for (double v : row)
            ASSERT_TRUE(std::isfinite(v));
    expectClose(cs_rows, me_rows, 1e-3, GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(Fmu, EveryBlock, testing::ValuesIn(shippedBlocks()));

// Bottom pressure of the default scenario, as `tavrel run` computes it.
std::vector<double> runBottomPressure() {
    struct Collect : sim::ResultSink {
        std::size_t column = 0;
        std::vector<double> values;
        void begin(const std::vector<sim::Column>& columns) override {
            while (columns[column].name != "rig.bottom_pressure")
                ++column;
        }
        void row(double, const std::vector<double>& v) override { values.push_back(v[column]); }
        void end() override {}
    } sink;
    sim::runScenario(sim::Scenario::builtInDefault(), sink);
    return sink.values;
}

TEST(RigFmu, ReproducesTheDefaultRunOver120Seconds) {
    const std::vector<double> reference = runBottomPressure();
    Rows expected;
    for (double v : reference)
        expected.push_back({v});
    Slave me(fmuOf("tavrel"), fmi2ModelExchange), cs(fmuOf("tavrel"), fmi2CoSimulation);
    expectClose(runModelExchange(me, rigPlan(120)), expected, 1e-5, "Model Exchange");
    expectClose(runCoSimulation(cs, rigPlan(120)), expected, 1e-5, "Co-Simulation");
    EXPECT_NE(cs.log().find("blockConsole: Initial choke opening"), std::string::npos) << cs.log();
}

// Two instances stepped in turn give the same values; a reset instance starts afresh.
TEST(RigFmu, InstancesAreIndependentAndResetStartsAfresh) {
    const UnpackedFmu& fmu = fmuOf("tavrel");
    Slave a(fmu, fmi2CoSimulation, "a"), b(fmu, fmi2CoSimulation, "b");
    RunPlan plan = rigPlan(0.05);
    plan.watched = fmu.outputs();
    ASSERT_EQ(b.setReal("annulus_length", 2500), fmi2OK); // b differs: a must not see it
    Rows a_rows, b_rows;
    for (int k = 0; k < 2; ++k) {
        a_rows = runCoSimulation(a, plan);
        b_rows = runCoSimulation(b, plan);
        ASSERT_EQ(a.api().reset(a.get()), fmi2OK);
        ASSERT_EQ(b.api().reset(b.get()), fmi2OK);
        ASSERT_EQ(b.setReal("annulus_length", 2500), fmi2OK);
    }
    Slave alone(fmu, fmi2CoSimulation);
    EXPECT_EQ(runCoSimulation(alone, plan), a_rows);
    EXPECT_NE(a_rows, b_rows);
}

// Misuse gives fmi2Error and a logged message naming what was wrong.
TEST(RigFmu, MisuseIsRefusedNamingTheVariable) {
    const UnpackedFmu& fmu = fmuOf("tavrel");
    const auto& f = fmu.api();
    f.freeInstance(nullptr);
    {
        Slave wrong(fmu, fmi2CoSimulation, "wrong", "{00000000-0000-0000-0000-000000000000}");
        EXPECT_EQ(wrong.get(), nullptr);
        EXPECT_NE(wrong.log().find("wrong GUID"), std::string::npos) << wrong.log();
    }
    Slave s(fmu, fmi2ModelExchange);
    s.initialize({{"injection_flow", 0.01}});
    std::vector<double> x(fmu.numStates());
    ASSERT_EQ(f.getContinuousStates(s.get(), x.data(), x.size()), fmi2OK);
    x[3] = NAN;
    const fmi2ValueReference unknown = 1u << 30;
    double value = 0;
    struct Case {
        std::function<fmi2Status()> call;
        std::string mentions;
    };
    const std::vector<Case> cases = {
        {[&] { return f.getReal(s.get(), &unknown, 1, &value); },
         "unknown value reference 1073741824"},
        {[&] { return s.setReal("annulus_length", 2000); }, "annulus_length is a fixed parameter"},
        {[&] { return s.setReal("num_fixed_outputs", 8); },
         "num_fixed_outputs fixes the block's structure"},
        {[&] { return s.setReal("bottom_pressure", 1); }, "bottom_pressure is computed"},
        {[&] { return s.setReal("injection_flow", NAN); }, "injection_flow cannot be set to nan"},
        {[&] { return f.setContinuousStates(s.get(), x.data(), x.size()); },
         "state w_up[3] cannot be set to nan"},
    };
    for (const Case& c : cases) {
        s.clearLog();
        EXPECT_EQ(c.call(), fmi2Error) << c.mentions;
        EXPECT_NE(s.log().find(c.mentions), std::string::npos) << s.log();
    }
}

// Values set in initialisation mode after a read still count: the start is computed afresh.
TEST(RigFmu, InitialStateFollowsTheLastValuesSetInInitialization) {
    const UnpackedFmu& fmu = fmuOf("tavrel");
    Slave s(fmu, fmi2CoSimulation);
    const auto& f = s.api();
    double opening = 0;
    const fmi2ValueReference vr = fmu.vr("choke_opening");
    EXPECT_EQ(f.getReal(s.get(), &vr, 1, &opening), fmi2Error); // nothing computed yet
    ASSERT_EQ(f.setupExperiment(s.get(), fmi2False, 0, 0, fmi2False, 0), fmi2OK);
    ASSERT_EQ(f.enterInitializationMode(s.get()), fmi2OK);
    ASSERT_EQ(s.setReal("injection_flow", 0.01), fmi2OK);
    const double first = s.real("choke_opening");
    ASSERT_EQ(s.setReal("injection_flow", 0.02), fmi2OK);
    ASSERT_EQ(f.exitInitializationMode(s.get()), fmi2OK);
    EXPECT_GT(s.real("choke_opening"), first); // more flow through the same pressure drop
}

// The Co-Simulation solver can be BDF: other steps, the same solution to its tolerance (BDF
// restarts at first order at every communication point, hence the looser bound).
TEST(RigFmu, BdfSolverAgreesWithDormandPrince) {
    const UnpackedFmu& fmu = fmuOf("tavrel");
    RunPlan plan = rigPlan(0.5);
    plan.watched = fmu.outputs();
    Slave dp(fmu, fmi2CoSimulation), bdf(fmu, fmi2CoSimulation);
    const fmi2ValueReference solver = 0;
    const fmi2Integer choice = 2;
    ASSERT_EQ(bdf.api().setInteger(bdf.get(), &solver, 1, &choice), fmi2OK);
    const Rows bdf_rows = runCoSimulation(bdf, plan), dp_rows = runCoSimulation(dp, plan);
    EXPECT_NE(bdf_rows, dp_rows);
    expectClose(bdf_rows, dp_rows, 5e-3, "BDF", true);
}

// A parameter set that makes the block's derivative not finite is reported, not integrated.
TEST(RigFmu, NonFiniteDerivativeIsReported) {
    const UnpackedFmu& fmu = fmuOf("tavrel");
    Slave s(fmu, fmi2ModelExchange);
    ASSERT_EQ(s.setReal("friction_quadratic", 1e308), fmi2OK);
    s.initialize({{"injection_flow", 0.01}, {"displacer_velocity", 1e3}});
    std::vector<double> dx(fmu.numStates());
    EXPECT_EQ(s.api().getDerivatives(s.get(), dx.data(), dx.size()), fmi2Error);
    EXPECT_NE(s.log().find("is not finite at t = 0"), std::string::npos) << s.log();
}

// The directional derivatives agree with central differences of the FMU's own derivatives and
// outputs taken with three times the step, along states and inputs of every unit the rig has
// (ten times would cross the choke table's corner at 0.4), and are linear in the seed.
TEST(RigFmu, DirectionalDerivativesAgreeWithDifferencesOfItsOwnValues) {
    const UnpackedFmu& fmu = fmuOf("tavrel");
    Slave s(fmu, fmi2ModelExchange);
    const auto& f = s.api();
    s.initialize({{"injection_flow", 0.01}, {"displacer_velocity", 0.3}});
    ASSERT_EQ(s.setReal("choke_setpoint", s.real("choke_opening")), fmi2OK); // off the rate limit
    ASSERT_EQ(f.enterContinuousTimeMode(s.get()), fmi2OK);
    const std::vector<std::string> unknown_names = {"der(w_up[40])", "der(w_down[149])",
                                                    "der(choke_opening_state)", "bottom_pressure",
                                                    "top_flow"};
    std::vector<fmi2ValueReference> unknowns;
    for (const auto& name : unknown_names)
        unknowns.push_back(fmu.vr(name));
    const auto values = [&] {
        std::vector<double> v(unknowns.size());
        EXPECT_EQ(f.getReal(s.get(), unknowns.data(), unknowns.size(), v.data()), fmi2OK)
            << s.log();
        return v;
    };
    std::vector<double> x(fmu.numStates());
    ASSERT_EQ(f.getContinuousStates(s.get(), x.data(), x.size()), fmi2OK);
    const auto state_index = [&](const std::string& name) {
        return static_cast<std::size_t>(fmu.vr(name) - fmu.vr("w_up[0]"));
    };
    struct Known {
        std::string name;
        double step; // three times the FMU's own
    };
    const std::vector<Known> knowns = {{"w_up[40]", 3e-4 * std::max(1.0, std::abs(x[40]))},
                                       {"choke_opening_state", 6e-3},
                                       {"displacer_velocity", 3e-4},
                                       {"injection_flow", 3e-6},
                                       {"choke_setpoint", 6e-3}};
    std::vector<std::vector<double>> columns;
    for (const Known& known : knowns) {
        const fmi2ValueReference vr = fmu.vr(known.name);
        const double seed = 1.0;
        std::vector<double> column(unknowns.size());
        ASSERT_EQ(f.getDirectionalDerivative(s.get(), unknowns.data(), unknowns.size(), &vr, 1,
                                             &seed, column.data()),
                  fmi2OK)
            << s.log();
        const bool is_state =
            known.name.find('[') != std::string::npos || known.name == "choke_opening_state";
        const double origin = is_state ? x[state_index(known.name)] : s.real(known.name);
        const auto at = [&](double value) {
            if (is_state) {
                std::vector<double> moved = x;
                moved[state_index(known.name)] = value;
                EXPECT_EQ(f.setContinuousStates(s.get(), moved.data(), moved.size()), fmi2OK);
            } else {
                EXPECT_EQ(s.setReal(known.name, value), fmi2OK);
            }
            return values();
        };
        const std::vector<double> plus = at(origin + known.step), minus = at(origin - known.step);
        at(origin);
        double scale = 0;
        for (double v : column)
            scale = std::max(scale, std::abs(v));
        ASSERT_GT(scale, 0) << known.name;
        for (std::size_t i = 0; i < unknowns.size(); ++i)
            EXPECT_NEAR(column[i], (plus[i] - minus[i]) / (2 * known.step), 2e-3 * scale)
                << unknown_names[i] << " / " << known.name;
        columns.push_back(column);
    }
    std::vector<fmi2ValueReference> both = {fmu.vr(knowns[0].name), fmu.vr(knowns[2].name)};
    const std::vector<double> seeds = {2.0, -3.0};
    std::vector<double> combined(unknowns.size());
    ASSERT_EQ(f.getDirectionalDerivative(s.get(), unknowns.data(), unknowns.size(), both.data(), 2,
                                         seeds.data(), combined.data()),
              fmi2OK);
    for (std::size_t i = 0; i < unknowns.size(); ++i)
        EXPECT_DOUBLE_EQ(combined[i], 2 * columns[0][i] - 3 * columns[2][i]) << unknown_names[i];

    const fmi2ValueReference input = fmu.vr("injection_flow"), output = fmu.vr("bottom_pressure");
    const double seed = 1;
    double result = 0;
    s.clearLog();
    EXPECT_EQ(f.getDirectionalDerivative(s.get(), &input, 1, &input, 1, &seed, &result), fmi2Error);
    EXPECT_NE(s.log().find("injection_flow is not an output or a derivative"), std::string::npos)
        << s.log();
    s.clearLog();
    EXPECT_EQ(f.getDirectionalDerivative(s.get(), &output, 1, &output, 1, &seed, &result),
              fmi2Error);
    EXPECT_NE(s.log().find("bottom_pressure is not a state or an input"), std::string::npos)
        << s.log();
}

// Units of the blocks' descriptions in SI base units (kg, m, s, A, K, mol, cd, rad).
TEST(UnitDefinitions, BaseUnitsOfTheBlocksUnits) {
    const std::vector<std::pair<std::string, std::array<int, 8>>> table = {
        {"Pa", {1, -1, -2}},
        {"m3/s", {0, 3, -1}},
        {"kg/m3", {1, -3, 0}},
        {"Pa.s2/m2", {1, -3, 0}},
        {"Pa.s/m", {1, -2, -1}},
        {"1/s", {0, 0, -1}},
        {"1", {}},
        {"m/s2", {0, 1, -2}},
        {"rad", {0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const auto& [unit, exponents] : table)
        EXPECT_EQ(fmi::baseUnitExponents(unit), exponents) << unit;
    for (const char* bad : {"furlong", "m/", "Pa..s", ""})
        EXPECT_ANY_THROW(fmi::baseUnitExponents(bad)) << bad;
}

} // namespace
} // namespace tavrel::fmitest
