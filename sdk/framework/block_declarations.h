// A block's parameters, ports and states declared once, as X-macro lists, and everything made
// from such a list: the index enum, the description entries and the parameter reader. The
// position in the list is the index, so an index cannot drift from its entry.
//
// A parameter list names each entry as X(id, use, declaration): `id` is the identifier of the
// enum value and reader member and, as a string, the parameter's name; `use` a ParamUse; the
// declaration a Declared<T> (a shared one, or scalarParam, countParam, vectorParam, gapParam).
// Port lists name X(id, unit, meaning[, direct feed-through[, role]]); state lists X(id, unit,
// meaning[, role]).
#pragma once

#include "block_description.h"
#include "block_io.h"

#include <array>
#include <cstddef>
#include <type_traits>

namespace tavrel {

// What a declared parameter reads as: double, int, ParamVector, or NoValue for a parameter kept
// only for the dialog's layout.
struct NoValue {};

struct ParamFacts {
    std::string_view name;
    std::string_view unit;
    std::string_view meaning;
    ParamShape shape;
    DefaultValues defaults;
};

template <typename T> struct Declared : ParamFacts { using value_type = T; };

constexpr Declared<double> scalarParam(std::string_view unit, std::string_view meaning,
                                       DefaultValues defaults) {
    return {{{}, unit, meaning, ParamShape::scalar, defaults}};
}
// A scalar read as a whole number (truncated toward zero).
constexpr Declared<int> countParam(std::string_view unit, std::string_view meaning,
                                   DefaultValues defaults) {
    return {{{}, unit, meaning, ParamShape::scalar, defaults}};
}
constexpr Declared<ParamVector> vectorParam(std::string_view unit, std::string_view meaning,
                                            DefaultValues defaults) {
    return {{{}, unit, meaning, ParamShape::vector, defaults}};
}
// A place in the dialog that no method reads and no name addresses.
constexpr Declared<NoValue> gapParam(std::string_view meaning) {
    return {{{}, {}, meaning, ParamShape::scalar, {0}}};
}

// A block whose role gives a shared parameter another default or a narrower meaning.
template <typename T> constexpr Declared<T> withDefault(Declared<T> p, DefaultValues defaults) {
    p.defaults = defaults;
    return p;
}
template <typename T> constexpr Declared<T> withMeaning(Declared<T> p, std::string_view meaning) {
    p.meaning = meaning;
    return p;
}

template <typename T> constexpr Declared<T> named(std::string_view name, Declared<T> p) {
    p.name = name;
    return p;
}

template <typename T>
constexpr ParamDescription describe(std::string_view name, ParamUse use, const Declared<T>& p) {
    return {0,       std::is_same_v<T, NoValue> ? std::string_view() : name,
            p.unit,  p.meaning,
            p.shape, p.defaults,
            use};
}

template <typename D> using DeclaredValue = typename std::remove_cvref_t<D>::value_type;

inline void readParam(const SimStruct* S, int k, double& value) { value = paramScalar(S, k); }
inline void readParam(const SimStruct* S, int k, int& value) {
    value = truncateToInt32(paramScalar(S, k));
}
inline void readParam(const SimStruct* S, int k, ParamVector& value) { value = paramVector(S, k); }
inline void readParam(const SimStruct*, int, NoValue&) {}

// The entries of a list numbered by their position, from `first`.
template <typename Entry, std::size_t N>
constexpr std::array<Entry, N> numbered(std::array<Entry, N> entries, int first = 0) {
    for (std::size_t k = 0; k < N; ++k)
        entries[k].index = first + static_cast<int>(k);
    return entries;
}

} // namespace tavrel

// The list's identifiers as enumerators: TAVREL_INDICES(LIST) expands to `a, b, ... ,`.
#define TAVREL_INDEX_ENTRY(id, ...) id,
#define TAVREL_INDICES(LIST) LIST(TAVREL_INDEX_ENTRY)

// An enum of the list's identifiers starting at `first`, then `count`.
#define TAVREL_INDEX_ENUM_FROM(first, LIST)                                                        \
    enum : int { tavrel_before_first_ = (first)-1, TAVREL_INDICES(LIST) count }

#define TAVREL_PARAM_ENTRY(id, use, ...) ::tavrel::describe(#id, use, __VA_ARGS__),
#define TAVREL_PARAM_DESCRIPTIONS(LIST) ::tavrel::numbered(std::array{LIST(TAVREL_PARAM_ENTRY)})

#define TAVREL_PORT_ENTRY(id, unit, meaning, ...)                                                  \
    ::tavrel::PortDescription{0, #id, unit, meaning __VA_OPT__(, ) __VA_ARGS__},
#define TAVREL_PORT_DESCRIPTIONS(LIST) ::tavrel::numbered(std::array{LIST(TAVREL_PORT_ENTRY)})

// A state entry may end with its role (StateRole).
#define TAVREL_STATE_ENTRY(id, unit, meaning, ...)                                                 \
    ::tavrel::StateDescription{0, #id, unit, meaning __VA_OPT__(, ) __VA_ARGS__},
#define TAVREL_STATE_DESCRIPTIONS(first, LIST)                                                     \
    ::tavrel::numbered(std::array{LIST(TAVREL_STATE_ENTRY)}, first)

// Reader members: one per parameter, of the type its declaration reads as.
#define TAVREL_PARAM_MEMBER(id, use, ...) ::tavrel::DeclaredValue<decltype(__VA_ARGS__)> id;
#define TAVREL_PARAM_MEMBERS(LIST) LIST(TAVREL_PARAM_MEMBER)

// Reads every parameter of the list into `p`, by the enum `param`.
#define TAVREL_PARAM_READ(id, use, ...) ::tavrel::readParam(S, param::id, p.id);
#define TAVREL_READ_PARAMS(LIST) LIST(TAVREL_PARAM_READ)
