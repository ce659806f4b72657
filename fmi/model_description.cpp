#include "model_description.h"

#include "exact_number.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace tavrel::fmi {

namespace {

constexpr std::array<const char*, 8> base_unit_names = {"kg", "m",   "s",  "A",
                                                        "K",  "mol", "cd", "rad"};

struct UnitSymbol {
    const char* symbol;
    std::array<int, 8> exponents;
};

constexpr UnitSymbol unit_symbols[] = {
    {"kg", {1, 0, 0, 0, 0, 0, 0, 0}},   {"m", {0, 1, 0, 0, 0, 0, 0, 0}},
    {"s", {0, 0, 1, 0, 0, 0, 0, 0}},    {"K", {0, 0, 0, 0, 1, 0, 0, 0}},
    {"rad", {0, 0, 0, 0, 0, 0, 0, 1}},  {"N", {1, 1, -2, 0, 0, 0, 0, 0}},
    {"Pa", {1, -1, -2, 0, 0, 0, 0, 0}}, {"J", {1, 2, -2, 0, 0, 0, 0, 0}},
    {"W", {1, 2, -3, 0, 0, 0, 0, 0}},   {"1", {0, 0, 0, 0, 0, 0, 0, 0}},
};

// One factor such as "m3", "Pa" or "s2", raised to `sign`.
void addFactor(const std::string& factor, int sign, const std::string& unit,
               std::array<int, 8>& exponents) {
    std::size_t digits = factor.size();
    while (digits > 0 && factor[digits - 1] >= '0' && factor[digits - 1] <= '9')
        --digits;
    std::string symbol = factor.substr(0, digits);
    int power = digits < factor.size() ? std::stoi(factor.substr(digits)) : 1;
    if (symbol.empty()) { // a plain number: only "1" is a unit
        symbol = factor;
        power = 1;
    }
    for (const UnitSymbol& known : unit_symbols) {
        if (symbol != known.symbol) continue;
        for (std::size_t i = 0; i < exponents.size(); ++i)
            exponents[i] += sign * power * known.exponents[i];
        return;
    }
    throw std::runtime_error("unit \"" + unit + "\": unknown symbol \"" + symbol + "\"");
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string attribute(const char* name, const std::string& value) {
    return value.empty() ? std::string() : std::string(" ") + name + "=\"" + escaped(value) + "\"";
}

// The unit of a rate: "1" -> "1/s", "m/s" -> "m/s2", "Pa.s/m" -> "Pa.s/m.s".
std::string perSecond(const std::string& unit) {
    if (unit.empty()) return unit;
    const std::size_t slash = unit.find('/');
    if (slash == std::string::npos) return unit + "/s";
    const std::size_t last = unit.find_last_of("./");
    const std::string factor = unit.substr(last + 1);
    if (factor == "s") return unit + "2";
    if (factor.size() > 1 && factor[0] == 's' &&
        factor.find_first_not_of("0123456789", 1) == std::string::npos)
        return unit.substr(0, last + 2) + std::to_string(std::stoi(factor.substr(1)) + 1);
    return unit + ".s";
}

// Unit and description of each Real variable, from the block's description.
struct VariableText {
    std::string unit, description;
};

VariableText textOf(const RealVariable& v, const ExportDescription& d) {
    const auto at = [](const auto& list, int k) { return list[static_cast<std::size_t>(k)]; };
    switch (v.role) {
    case RealRole::parameter:
    case RealRole::constant: return {at(d.params, v.index).unit, at(d.params, v.index).description};
    case RealRole::input: return {at(d.inputs, v.index).unit, at(d.inputs, v.index).description};
    case RealRole::output:
        for (const auto& output : d.outputs)
            if (output.port == v.index) return {output.unit, output.description};
        return {};
    case RealRole::state: return {at(d.states, v.index).unit, at(d.states, v.index).description};
    case RealRole::derivative:
        return {perSecond(at(d.states, v.index).unit),
                "time derivative of " + at(d.states, v.index).name};
    case RealRole::solver_setting:
        return {"", v.index == static_cast<int>(SolverSetting::rtol)
                        ? "relative tolerance of the Co-Simulation solver"
                        : "absolute tolerance of the Co-Simulation solver"};
    }
    return {};
}

// The causality, variability and initial of each role, and its start value if it has one.
struct Kind {
    const char* attributes;
    std::string start; // empty: none (a calculated variable has none)
};

Kind kindOf(const RealVariable& v, const FmuLayout& layout) {
    constexpr const char* fixed_parameter =
        " causality=\"parameter\" variability=\"fixed\" initial=\"exact\"";
    const auto param_value = [&] {
        return exactNumber(layout.params[static_cast<std::size_t>(v.index)]
                               .values[static_cast<std::size_t>(v.element)]);
    };
    switch (v.role) {
    case RealRole::parameter: return {fixed_parameter, param_value()};
    case RealRole::constant:
        return {" causality=\"local\" variability=\"constant\" initial=\"exact\"", param_value()};
    case RealRole::input: return {" causality=\"input\" variability=\"continuous\"", "0"};
    case RealRole::output:
        return {" causality=\"output\" variability=\"continuous\" initial=\"calculated\"", ""};
    case RealRole::state:
    case RealRole::derivative:
        return {" causality=\"local\" variability=\"continuous\" initial=\"calculated\"", ""};
    case RealRole::solver_setting:
        return {fixed_parameter, exactNumber(solver_setting_defaults[v.index])};
    }
    return {"", ""};
}

void writeVariable(std::ostream& out, const RealVariable& v, const ExportedBlock& block,
                   std::size_t first_state_vr) {
    const VariableText text = textOf(v, block.description);
    const Kind kind = kindOf(v, block.layout);
    out << "    <ScalarVariable name=\"" << escaped(v.name) << "\" valueReference=\"" << v.vr
        << "\"" << kind.attributes << attribute("description", text.description) << ">\n"
        << "      <Real" << attribute("unit", text.unit) << attribute("start", kind.start);
    if (v.role == RealRole::derivative)
        out << " derivative=\"" << first_state_vr + static_cast<std::size_t>(v.index) + 1 << "\"";
    out << "/>\n    </ScalarVariable>\n";
}

void writeUnits(std::ostream& out, const std::vector<RealVariable>& variables,
                const ExportDescription& d) {
    std::set<std::string> units;
    for (const auto& v : variables)
        if (const std::string unit = textOf(v, d).unit; !unit.empty()) units.insert(unit);
    if (units.empty()) return;
    out << "  <UnitDefinitions>\n";
    for (const std::string& unit : units) {
        const auto exponents = baseUnitExponents(unit);
        out << "    <Unit name=\"" << escaped(unit) << "\"><BaseUnit";
        for (std::size_t i = 0; i < exponents.size(); ++i)
            if (exponents[i] != 0)
                out << " " << base_unit_names[i] << "=\"" << exponents[i] << "\"";
        out << "/></Unit>\n";
    }
    out << "  </UnitDefinitions>\n";
}

void writeInterfaces(std::ostream& out, const ExportedBlock& block) {
    const std::string common = " modelIdentifier=\"" + block.layout.block +
                               "\" canNotUseMemoryManagementFunctions=\"true\""
                               " canGetAndSetFMUstate=\"false\" canSerializeFMUstate=\"false\""
                               " providesDirectionalDerivative=\"true\"";
    if (block.model_exchange) out << "  <ModelExchange" << common << "/>\n";
    if (block.co_simulation)
        out << "  <CoSimulation" << common
            << " canHandleVariableCommunicationStepSize=\"true\" canInterpolateInputs=\"true\""
               " maxOutputDerivativeOrder=\"0\"/>\n";
}

void writeFixedSections(std::ostream& out) {
    out << "  <TypeDefinitions>\n"
           "    <SimpleType name=\"Solver\">\n"
           "      <Enumeration>\n"
           "        <Item name=\"dormand_prince\" value=\"1\" description=\"adaptive explicit "
           "Dormand-Prince 5(4)\"/>\n"
           "        <Item name=\"bdf\" value=\"2\" description=\"variable-order BDF for stiff "
           "blocks\"/>\n"
           "      </Enumeration>\n"
           "    </SimpleType>\n"
           "  </TypeDefinitions>\n"
           "  <LogCategories>\n"
           "    <Category name=\"logStatusError\" description=\"errors, naming the variable or "
           "call\"/>\n"
           "    <Category name=\"blockConsole\" description=\"lines the block prints\"/>\n"
           "    <Category name=\"logAll\" description=\"every category\"/>\n"
           "  </LogCategories>\n"
           "  <DefaultExperiment startTime=\"0\"/>\n";
}

// Outputs depend on every state and on the inputs the block feeds through; derivatives and
// initial unknowns are left to depend on every known (no dependency list).
void writeStructure(std::ostream& out, const ExportedBlock& block,
                    const std::vector<RealVariable>& variables) {
    std::string output_dependencies;
    for (const auto& v : variables) {
        const bool fed_through =
            v.role == RealRole::input && block.feed_through[static_cast<std::size_t>(v.index)];
        if (v.role == RealRole::state || fed_through)
            output_dependencies +=
                (output_dependencies.empty() ? "" : " ") + std::to_string(v.vr + 1);
    }
    out << "  <ModelStructure>\n";
    const auto list = [&](const char* section, auto wanted, bool with_dependencies) {
        bool any = false;
        for (const auto& v : variables) {
            if (!wanted(v.role)) continue;
            if (!any) out << "    <" << section << ">\n";
            any = true;
            out << "      <Unknown index=\"" << v.vr + 1 << "\"";
            if (with_dependencies) out << " dependencies=\"" << output_dependencies << "\"";
            out << "/>\n";
        }
        if (any) out << "    </" << section << ">\n";
    };
    list(
        "Outputs", [](RealRole r) { return r == RealRole::output; }, true);
    list(
        "Derivatives", [](RealRole r) { return r == RealRole::derivative; }, false);
    list(
        "InitialUnknowns",
        [](RealRole r) {
            return r == RealRole::output || r == RealRole::state || r == RealRole::derivative;
        },
        false);
    out << "  </ModelStructure>\n";
}

} // namespace

std::array<int, 8> baseUnitExponents(const std::string& unit) {
    std::array<int, 8> exponents{};
    const std::size_t slash = unit.find('/');
    // Factors joined by '.', e.g. "Pa.s2/m2".
    const auto addProduct = [&](const std::string& product, int sign) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = std::min(product.find('.', start), product.size());
            if (end == start) throw std::runtime_error("unit \"" + unit + "\" has an empty factor");
            addFactor(product.substr(start, end - start), sign, unit, exponents);
            if (end == product.size()) return;
            start = end + 1;
        }
    };
    addProduct(unit.substr(0, slash), 1);
    if (slash != std::string::npos) addProduct(unit.substr(slash + 1), -1);
    return exponents;
}

std::string structureGuid(const FmuLayout& layout) {
    std::ostringstream text;
    text << layout.block;
    for (const auto& param : layout.params)
        text << "|p " << param.name << " " << static_cast<int>(param.shape) << " "
             << param.values.size();
    for (const auto& name : layout.inputs)
        text << "|i " << name;
    for (const auto& output : layout.outputs)
        text << "|o " << output.port << " " << output.name;
    for (const auto& name : layout.states)
        text << "|s " << name;
    // Two 64-bit FNV-1a hashes with different offsets give the 128 bits of the GUID.
    std::uint64_t a = 14695981039346656037ull, b = 0x84222325cbf29ce4ull;
    for (unsigned char c : text.str()) {
        a = (a ^ c) * 1099511628211ull;
        b = (b ^ c) * 1099511628211ull;
        b ^= b >> 29;
    }
    char guid[40];
    std::snprintf(guid, sizeof guid, "{%08x-%04x-%04x-%04x-%012llx}",
                  static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xffff),
                  static_cast<unsigned>(a & 0xffff), static_cast<unsigned>(b >> 48),
                  static_cast<unsigned long long>(b & 0xffffffffffffull));
    return guid;
}

std::string modelDescriptionXml(const ExportedBlock& block) {
    const std::vector<RealVariable> variables = realVariables(block.layout);
    std::size_t first_state_vr = 0;
    while (first_state_vr < variables.size() && variables[first_state_vr].role != RealRole::state)
        ++first_state_vr;
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<fmiModelDescription fmiVersion=\"2.0\" modelName=\"" << escaped(block.layout.block)
        << "\" guid=\"" << block.layout.guid << "\""
        << attribute("description", block.description.description)
        << " generationTool=\"tavrel\" variableNamingConvention=\"flat\""
           " numberOfEventIndicators=\"0\">\n";
    writeInterfaces(out, block);
    writeUnits(out, variables, block.description);
    writeFixedSections(out);
    out << "  <ModelVariables>\n";
    for (const auto& v : variables)
        writeVariable(out, v, block, first_state_vr);
    out << "    <ScalarVariable name=\"solver\" valueReference=\"" << solver_kind_vr
        << "\" causality=\"parameter\" variability=\"fixed\" initial=\"exact\" "
           "description=\"solver of Co-Simulation\">\n"
           "      <Enumeration declaredType=\"Solver\" start=\""
        << static_cast<int>(SolverChoice::dormand_prince) << "\"/>\n    </ScalarVariable>\n";
    out << "  </ModelVariables>\n";
    writeStructure(out, block, variables);
    out << "</fmiModelDescription>\n";
    return out.str();
}

} // namespace tavrel::fmi
