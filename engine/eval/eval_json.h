// The JSON form of a block evaluation (`tavrel eval`): the request as read from its file, and
// the response, whose numbers read back to the same double and whose non-finite numbers are
// the strings "nan", "inf" and "-inf".
#pragma once

#include "block_eval.h"

#include <nlohmann/json.hpp>

#include <string>

namespace tavrel::host {

using Json = nlohmann::ordered_json;

// {"block": NAME or "plugin": PATH, "params": [[...], ...], "inputs": [...], "states": [...] or
// null}. Throws HostError naming what is wrong.
EvalRequest evalRequestFromJson(const Json& request);

// {"sizes", "initial_states", "first_outputs", "initial_choke_opening", "console", "outputs",
// "derivatives"}, in this order.
Json evalResultToJson(const EvalResult& result);

// Request to response, every step through the plug-in protocol.
Json evaluateJson(const Json& request);

// Dialog parameters: a list with one list of numbers (a row vector) per parameter; a bare
// number counts as a one-element list. `where` names the list in error messages.
ParamValues paramValuesFromJson(const Json& params, const std::string& where);

// A number, or the string "nan", "inf" or "-inf".
double numberFromJson(const Json& value, const std::string& where);
Json numberToJson(double value);

// Compact JSON text with floating-point numbers to 17 significant digits; the members of a
// top-level object are put on lines of their own.
std::string formatJson(const Json& value);

} // namespace tavrel::host
