// Block evaluation from a JSON request, as `tavrel eval` answers it.
#include "block_descriptions.h"
#include "eval_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

namespace {

using namespace tavrel::host;

Json shippedRequest() {
    std::ifstream in(TAVREL_SOURCE_DIR "/scenarios/eval_default.json");
    return Json::parse(in);
}

std::string requestError(const Json& request) {
    try {
        evaluateJson(request);
    } catch (const HostError& error) {
        return error.what();
    }
    return {};
}

TEST(Eval, AnswersTheShippedRequest) {
    const Json response = evaluateJson(shippedRequest());
    std::vector<std::string> keys;
    for (const auto& item : response.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"sizes", "initial_states", "first_outputs",
                                              "initial_choke_opening", "console", "outputs",
                                              "derivatives"}));
    EXPECT_EQ(response["sizes"][0], 302);
    EXPECT_EQ(response["initial_states"].size(), 302u);
    EXPECT_EQ(response["first_outputs"].size(), 11u);
    EXPECT_EQ(response["initial_choke_opening"], response["first_outputs"][3]);
    char line[64];
    std::snprintf(line, sizeof line, "Initial choke opening: %f\n",
                  response["initial_choke_opening"].get<double>());
    EXPECT_EQ(response["console"], line);
    EXPECT_EQ(response["derivatives"].size(), 302u);
}

// Evaluating at the state the first outputs left gives what evaluating there without a state
// gives; the initial opening is printed only once.
TEST(Eval, GivenStatesAreEvaluatedWithoutReinitialisingTheChoke) {
    Json request = shippedRequest();
    const Json plain = evaluateJson(request);
    Json states = plain["initial_states"];
    states[300] = plain["initial_choke_opening"];
    request["states"] = states;
    const Json placed = evaluateJson(request);
    EXPECT_EQ(placed["outputs"], plain["outputs"]);
    EXPECT_EQ(placed["derivatives"], plain["derivatives"]);
    EXPECT_EQ(placed["console"], plain["console"]);

    states[0] = states[0].get<double>() + 1.0;
    request["states"] = states;
    EXPECT_NE(evaluateJson(request)["derivatives"], plain["derivatives"]);
}

TEST(Eval, TheObserverHasNoChokeOpening) {
    if (!std::ifstream(TAVREL_TEST_PLUGIN_DIR "/tavrel_observer.mexa64"))
        GTEST_SKIP() << "tavrel_observer is not built";
    Json request = {{"block", "tavrel_observer"},
                    {"params", Json::array()},
                    {"inputs", {0.0, 20e5}},
                    {"states", nullptr}};
    const ParamValues params = defaultParams(*findDescription("tavrel_observer"));
    for (const auto& values : params)
        request["params"].push_back(values);
    const Json response = evaluateJson(request);
    EXPECT_TRUE(response["initial_choke_opening"].is_null());
    EXPECT_EQ(response["sizes"][0], 43);
    EXPECT_EQ(response["console"], "");
}

TEST(Eval, RefusesBadRequestsNamingTheProblem) {
    const Json good = shippedRequest();
    auto with = [&](const char* key, const Json& value) {
        Json request = good;
        request[key] = value;
        return request;
    };
    EXPECT_EQ(requestError(with("inputs", {1, 2})),
              "request: \"inputs\" has 2 values, but block tavrel has 3");
    EXPECT_EQ(requestError(with("states", {1, 2, 3})),
              "request: \"states\" has 3 values, but block tavrel has 302");
    EXPECT_EQ(requestError(with("inputs", {1, "x", 2})),
              "request: inputs[1] must be a number (or \"nan\", \"inf\", \"-inf\")");
    EXPECT_EQ(requestError(with("stats", nullptr)), "request: unknown key \"stats\"");
    EXPECT_EQ(requestError(with("params", 3)), "request: params must be a list of parameters");
    EXPECT_NE(requestError(with("block", "tavrel_nothing")).find("unknown block"),
              std::string::npos);
    EXPECT_NE(requestError(with("plugin", "/nonexistent/tavrel.mexa64")).find("cannot open"),
              std::string::npos);
    Json short_params = good;
    short_params["params"].erase(short_params["params"].begin() + 21, short_params["params"].end());
    EXPECT_NE(requestError(short_params).find("declares 28 dialog parameters, but 21 were given"),
              std::string::npos);
    Json no_inputs = good;
    no_inputs.erase("inputs");
    EXPECT_EQ(requestError(no_inputs), "request: \"inputs\" is missing");
}

TEST(Eval, NumbersReadBackToTheSameDouble) {
    const std::vector<double> values = {
        0.1, 1.0 / 3, -0.0, 1e-300, 123456789.123456789, std::nextafter(1.0, 2.0)};
    Json list = Json::array();
    for (double v : values)
        list.push_back(numberToJson(v));
    list.push_back(numberToJson(std::numeric_limits<double>::quiet_NaN()));
    list.push_back(numberToJson(-std::numeric_limits<double>::infinity()));
    const std::string text = formatJson(list);
    const Json back = Json::parse(text);
    for (size_t i = 0; i < values.size(); ++i) {
        const double v = back[i].get<double>();
        EXPECT_EQ(std::memcmp(&v, &values[i], sizeof v), 0) << text;
    }
    EXPECT_EQ(back[values.size()], "nan");
    EXPECT_EQ(back[values.size() + 1], "-inf");
    EXPECT_TRUE(std::isnan(numberFromJson("nan", "x")));
    EXPECT_EQ(numberFromJson("inf", "x"), std::numeric_limits<double>::infinity());
}

} // namespace

// Every block with sensor outputs, each scalar parameter missing (an empty list) while the
// sensor positions and the choke table are given: the cell length reads as not-a-number, and no
// sensor may be sampled outside the profiles. The block answers with not-a-number sensor
// pressures (or a clear error).
TEST(Eval, EmptyScalarParametersNeverReadOutsideTheProfiles) {
    for (const auto* described : knownBlocks()) {
        if (!described->hasSensors()) continue;
        const std::string block(described->name);
        ParamValues params = defaultParams(*described);
        for (auto& values : params)
            if (values.size() == 1) values.clear();
        Json request = {{"block", block},
                        {"params", params},
                        {"inputs", std::vector<double>(described->inputs.size(), 0.01)},
                        {"states", nullptr}};
        Json response;
        try {
            response = evaluateJson(request);
        } catch (const HostError& error) {
            EXPECT_NE(std::string(error.what()).find(block), std::string::npos) << error.what();
            continue;
        }
        const Json& outputs = response["outputs"];
        ASSERT_GE(outputs.size(), 4u) << block;
        for (std::size_t k = outputs.size() - 4; k < outputs.size(); ++k)
            EXPECT_EQ(outputs[k], "nan") << block << " sensor output " << k;
    }
}
