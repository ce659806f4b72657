// What a block is, for everyone who drives it: its dialog parameters (name, unit, meaning,
// default, validity rules), its ports with units and feed-through, and the layout of its
// states. Each model folder declares its entries once (block_declarations.h), and its index
// enums and description are made from that one list; isConsistent checks the rest at build time.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// A complete parameter set as the host passes it: one row vector per dialog parameter.
using ParamSet = std::vector<std::vector<double>>;

// A parameter's default values, held in place so that a description is a constant.
class DefaultValues {
  public:
    static constexpr std::size_t capacity = 8;
    constexpr DefaultValues() = default;
    constexpr DefaultValues(std::initializer_list<double> values) {
        for (double v : values)
            values_[count_++] = v; // too many values: not a constant
    }
    constexpr std::span<const double> values() const { return {values_.data(), count_}; }
    // Appends a value; false when the capacity is used up.
    constexpr bool add(double v) {
        if (count_ == capacity) return false;
        values_[count_++] = v;
        return true;
    }
    std::vector<double> toVector() const { return {values_.begin(), values_.begin() + count_}; }

  private:
    std::array<double, capacity> values_{};
    std::size_t count_ = 0;
};

enum class ParamShape { scalar, vector };

// Whether a method of the block reads the parameter. An ignored one keeps the dialog's layout
// (a layout shared with other blocks); it may be left out and then reads as 0.
enum class ParamUse { read, ignored };

struct ParamDescription {
    int index; // the model's enum value: must equal the entry's position
    std::string_view name;
    std::string_view unit;
    std::string_view meaning;
    ParamShape shape;
    DefaultValues defaults;
    ParamUse use = ParamUse::read;

    constexpr bool isVector() const { return shape == ParamShape::vector; }
    constexpr bool isRead() const { return use == ParamUse::read; }
};

// What a host may read a port as, beyond its name: the well's true bottom pressure and
// displacer velocity, and an estimate of that velocity (the run's summary reports them); an
// input that expects the pressure at the top of the annulus (the host refuses a sensor below
// the top as its source).
enum class PortRole {
    plain,
    bottom_pressure,
    displacer_velocity,
    displacer_velocity_estimate,
    top_pressure
};

struct PortDescription {
    int index; // the model's enum value: must equal the entry's position
    std::string_view name;
    std::string_view unit;
    std::string_view meaning;
    bool direct_feed_through = false; // inputs only: read by mdlOutputs
    PortRole role = PortRole::plain;
};

// What a host may report a state as, beyond its name: `choke_opening` is the choke's
// position that the block sets in its first outputs call (reported as the initial opening).
enum class StateRole { plain, choke_opening };

// A state after the two wave families.
struct StateDescription {
    int index; // the model's state index
    std::string_view name;
    std::string_view unit;
    std::string_view meaning;
    StateRole role = StateRole::plain;
};

// A broken rule's text, e.g. "must be positive"; empty when the rule holds.
using RuleCheck = std::string (*)(const ParamSet&);

// A validity rule on a parameter, referring to parameters by the model's indices.
struct ParamRule {
    enum class Kind {
        positive,        // first value > 0
        not_negative,    // first value >= 0
        above,           // first value > first value of `other`
        entries_within,  // every entry in [0, first value of `other`]
        min_entries,     // at least `count` entries
        table_from_zero, // at least `count` entries, starting at 0, never decreasing
        custom,          // `check` decides; the problem is reported against `param`
    };
    Kind kind;
    int param;
    int other = -1;
    int count = 0;
    RuleCheck check = nullptr;
};

struct BlockDescription {
    std::string_view name; // the plug-in's name
    std::string_view meaning;
    std::span<const ParamDescription> params;
    std::span<const PortDescription> inputs;
    std::span<const PortDescription> fixed_outputs;
    // One output per entry of the sensor-positions parameter follows the fixed outputs, named
    // "<name>[i]"; the fixed-output count parameter says where they start. Both indices are
    // -1 for a block whose outputs are all fixed.
    PortDescription sensor_output;
    int num_fixed_outputs_param;
    int sensor_positions_param;
    int min_outputs; // outputs the block always writes
    int cells;       // wave states: w_up[0..cells), then w_down[0..cells)
    std::span<const StateDescription> extra_states;
    std::span<const ParamRule> rules;

    constexpr int stateCount() const { return 2 * cells + static_cast<int>(extra_states.size()); }
    constexpr int paramCount() const { return static_cast<int>(params.size()); }
    constexpr bool hasSensors() const { return sensor_positions_param >= 0; }
    // The index of the state with `role`, or -1 when the block has none.
    constexpr int stateWithRole(StateRole role) const {
        for (const auto& state : extra_states) {
            if (state.role == role) return state.index;
        }
        return -1;
    }
};

// Two rule lists as one, the first list's rules first.
template <std::size_t N, std::size_t M>
constexpr std::array<ParamRule, N + M> joinRules(const ParamRule (&first)[N],
                                                 const ParamRule (&second)[M]) {
    std::array<ParamRule, N + M> all{};
    for (std::size_t k = 0; k < N; ++k)
        all[k] = first[k];
    for (std::size_t k = 0; k < M; ++k)
        all[N + k] = second[k];
    return all;
}

// Every entry stands at the position its index names (for static_assert).
template <typename Entry>
constexpr bool indicesInOrder(std::span<const Entry> entries, int first = 0) {
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].index != first + static_cast<int>(k)) return false;
    }
    return true;
}

// The description is consistent in itself: ordered entries, references inside the lists.
constexpr bool isConsistent(const BlockDescription& d) {
    const auto inParams = [&](int k) { return k >= 0 && k < d.paramCount(); };
    for (const auto& rule : d.rules) {
        if (!inParams(rule.param)) return false;
        if ((rule.kind == ParamRule::Kind::above || rule.kind == ParamRule::Kind::entries_within) &&
            !inParams(rule.other))
            return false;
    }
    const bool sensors_sound =
        !d.hasSensors() ||
        (inParams(d.num_fixed_outputs_param) && inParams(d.sensor_positions_param) &&
         d.params[static_cast<std::size_t>(d.sensor_positions_param)].isVector());
    return indicesInOrder(d.params) && indicesInOrder(d.inputs) &&
           indicesInOrder(d.fixed_outputs) && indicesInOrder(d.extra_states, 2 * d.cells) &&
           sensors_sound;
}

// The defaults of every parameter, in the block's order.
inline ParamSet defaultParams(std::span<const ParamDescription> params) {
    ParamSet set;
    for (const auto& p : params)
        set.push_back(p.defaults.toVector());
    return set;
}
inline ParamSet defaultParams(const BlockDescription& d) { return defaultParams(d.params); }

// "w_up[k]", "w_down[k]", the extra state's name, or "state[i]" past the description.
inline std::string stateName(const BlockDescription& d, int index) {
    if (index >= 0 && index < d.cells) return "w_up[" + std::to_string(index) + "]";
    if (index >= d.cells && index < 2 * d.cells)
        return "w_down[" + std::to_string(index - d.cells) + "]";
    const auto extra = static_cast<std::size_t>(index - 2 * d.cells);
    if (index >= 2 * d.cells && extra < d.extra_states.size())
        return std::string(d.extra_states[extra].name);
    return "state[" + std::to_string(index) + "]";
}

// The unit of state `index`: the wave invariants' m/s, the extra state's own, or none.
inline std::string_view stateUnit(const BlockDescription& d, int index) {
    if (index >= 0 && index < 2 * d.cells) return "m/s";
    const auto extra = static_cast<std::size_t>(index - 2 * d.cells);
    if (index >= 2 * d.cells && extra < d.extra_states.size()) return d.extra_states[extra].unit;
    return {};
}

} // namespace tavrel
