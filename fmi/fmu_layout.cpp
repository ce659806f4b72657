#include "fmu_layout.h"

#include "exact_number.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace tavrel::fmi {

namespace {

constexpr const char* header = "tavrel-fmu-layout 1";
constexpr std::array<const char*, 3> shape_names = {"scalar", "vector", "structural"};

std::string elementName(const LayoutParam& param, std::size_t i) {
    if (param.shape == LayoutShape::vector) return param.name + "[" + std::to_string(i) + "]";
    return param.name;
}

class LineReader {
  public:
    LineReader(std::istream& in, std::string source) : in_(in), source_(std::move(source)) {}
    bool next(std::istringstream& fields, std::string& key) {
        std::string line;
        while (std::getline(in_, line)) {
            ++line_;
            if (line.empty()) continue;
            fields = std::istringstream(line);
            fields >> key;
            return true;
        }
        return false;
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error(source_ + ":" + std::to_string(line_) + ": " + what);
    }

  private:
    std::istream& in_;
    std::string source_;
    int line_ = 0;
};

LayoutShape shapeNamed(const std::string& name, const LineReader& reader) {
    for (std::size_t k = 0; k < shape_names.size(); ++k)
        if (name == shape_names[k]) return static_cast<LayoutShape>(k);
    reader.fail("unknown parameter shape \"" + name + "\"");
}

// "NAME UNIT": the unit is the rest of the line (it may be missing: none known).
void readNamed(std::istringstream& fields, std::vector<std::string>& names,
               std::vector<std::string>& units) {
    names.emplace_back();
    fields >> names.back();
    std::string unit;
    std::getline(fields >> std::ws, unit);
    units.push_back(unit);
}

} // namespace

std::vector<RealVariable> realVariables(const FmuLayout& layout) {
    std::vector<RealVariable> list;
    auto add = [&](RealRole role, std::string name, int index, int element = 0) {
        list.push_back({static_cast<unsigned>(list.size()), role, std::move(name), index, element});
    };
    for (std::size_t k = 0; k < layout.params.size(); ++k) {
        const LayoutParam& param = layout.params[k];
        if (param.name.empty()) continue;
        const RealRole role =
            param.shape == LayoutShape::structural ? RealRole::constant : RealRole::parameter;
        for (std::size_t i = 0; i < param.values.size(); ++i)
            add(role, elementName(param, i), static_cast<int>(k), static_cast<int>(i));
    }
    for (std::size_t p = 0; p < layout.inputs.size(); ++p)
        add(RealRole::input, layout.inputs[p], static_cast<int>(p));
    for (const LayoutOutput& output : layout.outputs)
        add(RealRole::output, output.name, output.port);
    for (std::size_t s = 0; s < layout.states.size(); ++s)
        add(RealRole::state, layout.states[s], static_cast<int>(s));
    for (std::size_t s = 0; s < layout.states.size(); ++s)
        add(RealRole::derivative, "der(" + layout.states[s] + ")", static_cast<int>(s));
    for (int k = 0; k < static_cast<int>(SolverSetting::count); ++k)
        add(RealRole::solver_setting, solver_setting_names[k], k);
    return list;
}

void writeLayout(std::ostream& out, const FmuLayout& layout) {
    out << header << "\nblock " << layout.block << "\nguid " << layout.guid << "\n";
    for (const LayoutParam& param : layout.params) {
        out << "param " << (param.name.empty() ? "-" : param.name) << " "
            << shape_names[static_cast<std::size_t>(param.shape)];
        for (double v : param.values)
            out << " " << exactNumber(v);
        out << "\n";
    }
    const auto named = [&](const char* key, const std::vector<std::string>& names,
                           const std::vector<std::string>& units) {
        for (std::size_t k = 0; k < names.size(); ++k)
            out << key << " " << names[k] << (k < units.size() ? " " + units[k] : "") << "\n";
    };
    named("input", layout.inputs, layout.input_units);
    for (const LayoutOutput& output : layout.outputs)
        out << "output " << output.port << " " << output.name << "\n";
    named("state", layout.states, layout.state_units);
}

FmuLayout readLayout(std::istream& in, const std::string& source) {
    std::string first;
    if (!std::getline(in, first) || first != header)
        throw std::runtime_error(source + ":1: not an FMU layout (expected \"" + header + "\")");
    LineReader reader(in, source);
    FmuLayout layout;
    std::istringstream fields;
    std::string key;
    while (reader.next(fields, key)) {
        if (key == "block") {
            fields >> layout.block;
        } else if (key == "guid") {
            fields >> layout.guid;
        } else if (key == "param") {
            LayoutParam param;
            std::string shape;
            fields >> param.name >> shape;
            if (param.name == "-") param.name.clear();
            param.shape = shapeNamed(shape, reader);
            for (double v; fields >> v;)
                param.values.push_back(v);
            if (!fields.eof()) reader.fail("parameter " + param.name + ": a value is not a number");
            layout.params.push_back(std::move(param));
        } else if (key == "input") {
            readNamed(fields, layout.inputs, layout.input_units);
        } else if (key == "output") {
            LayoutOutput output{-1, {}};
            fields >> output.port >> output.name;
            if (output.port < 0) reader.fail("output needs a port number and a name");
            layout.outputs.push_back(std::move(output));
        } else if (key == "state") {
            readNamed(fields, layout.states, layout.state_units);
        } else {
            reader.fail("unknown entry \"" + key + "\"");
        }
        if (fields.fail() && !fields.eof()) reader.fail("malformed \"" + key + "\" entry");
    }
    if (layout.block.empty() || layout.guid.empty())
        throw std::runtime_error(source + ": no block name or GUID");
    return layout;
}

} // namespace tavrel::fmi
