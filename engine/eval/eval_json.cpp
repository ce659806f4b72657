#include "eval_json.h"

#include "exact_number.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace tavrel::host {

namespace {

HostError requestError(const std::string& text) { return HostError("request: " + text); }

std::vector<double> numbersFromJson(const Json& list, const std::string& where) {
    if (!list.is_array()) throw requestError(where + " must be a list of numbers");
    std::vector<double> values;
    values.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        values.push_back(numberFromJson(list[i], where + "[" + std::to_string(i) + "]"));
    return values;
}

Json numbersToJson(const std::vector<double>& values) {
    Json list = Json::array();
    for (double value : values)
        list.push_back(numberToJson(value));
    return list;
}

void checkKeys(const Json& request) {
    static const char* const known[] = {"block", "plugin", "params", "inputs", "states"};
    for (const auto& item : request.items()) {
        bool found = false;
        for (const char* key : known)
            found = found || item.key() == key;
        if (!found) throw requestError("unknown key \"" + item.key() + "\"");
    }
}

std::string textMember(const Json& request, const char* key) {
    if (!request.contains(key)) return {};
    if (!request[key].is_string()) throw requestError(std::string("\"") + key + "\" must be text");
    return request[key].get<std::string>();
}

const Json& requiredMember(const Json& request, const char* key) {
    if (!request.contains(key)) throw requestError(std::string("\"") + key + "\" is missing");
    return request[key];
}

std::string formatDouble(double value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "\"nan\"" : value > 0 ? "\"inf\"" : "\"-inf\"";
    if (value == 0 && std::signbit(value)) return "-0.0"; // "-0" would read back as +0
    return exactNumber(value);
}

void writeJson(std::string& out, const Json& value, bool members_on_lines) {
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& item : value.items()) {
            out += first ? "" : ",";
            out += members_on_lines ? "\n  " : "";
            out += Json(item.key()).dump() + ": ";
            writeJson(out, item.value(), false);
            first = false;
        }
        out += members_on_lines && !first ? "\n}" : "}";
    } else if (value.is_array()) {
        out += '[';
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i) out += ", ";
            writeJson(out, value[i], false);
        }
        out += ']';
    } else if (value.is_number_float()) {
        out += formatDouble(value.get<double>());
    } else {
        out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
}

} // namespace

double numberFromJson(const Json& value, const std::string& where) {
    if (value.is_number()) return value.get<double>();
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
        if (text == "inf") return std::numeric_limits<double>::infinity();
        if (text == "-inf") return -std::numeric_limits<double>::infinity();
    }
    throw requestError(where + " must be a number (or \"nan\", \"inf\", \"-inf\")");
}

Json numberToJson(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return value;
}

ParamValues paramValuesFromJson(const Json& params, const std::string& where) {
    if (!params.is_array()) throw requestError(where + " must be a list of parameters");
    ParamValues values;
    for (std::size_t k = 0; k < params.size(); ++k) {
        const std::string name = where + "[" + std::to_string(k) + "]";
        if (params[k].is_array())
            values.push_back(numbersFromJson(params[k], name));
        else
            values.push_back({numberFromJson(params[k], name)});
    }
    return values;
}

EvalRequest evalRequestFromJson(const Json& request) {
    if (!request.is_object()) throw requestError("must be a JSON object");
    checkKeys(request);
    EvalRequest parsed;
    parsed.block = textMember(request, "block");
    parsed.plugin = textMember(request, "plugin");
    if (parsed.block.empty() && parsed.plugin.empty())
        throw requestError("names neither a \"block\" nor a \"plugin\"");
    parsed.params = paramValuesFromJson(requiredMember(request, "params"), "params");
    parsed.inputs = numbersFromJson(requiredMember(request, "inputs"), "inputs");
    if (request.contains("states") && !request["states"].is_null())
        parsed.states = numbersFromJson(request["states"], "states");
    return parsed;
}

Json evalResultToJson(const EvalResult& result) {
    Json response = Json::object();
    response["sizes"] = numbersToJson({result.sizes.begin(), result.sizes.end()});
    response["initial_states"] = numbersToJson(result.initial_states);
    response["first_outputs"] = numbersToJson(result.first_outputs);
    response["initial_choke_opening"] =
        result.initial_choke_opening ? numberToJson(*result.initial_choke_opening) : Json();
    response["console"] = result.console;
    response["outputs"] = numbersToJson(result.outputs);
    response["derivatives"] = numbersToJson(result.derivatives);
    return response;
}

Json evaluateJson(const Json& request) {
    return evalResultToJson(evaluateBlock(evalRequestFromJson(request)));
}

std::string formatJson(const Json& value) {
    std::string out;
    writeJson(out, value, value.is_object());
    return out;
}

} // namespace tavrel::host
