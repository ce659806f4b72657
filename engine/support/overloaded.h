// Lambdas joined into one visitor for std::visit, one lambda per alternative.
#pragma once

namespace tavrel {

template <typename... Lambdas> struct Overloaded : Lambdas... { using Lambdas::operator()...; };

// Spelt out for compilers without deduction for aggregates (clang 14, which builds the fuzzers).
template <typename... Lambdas> Overloaded(Lambdas...) -> Overloaded<Lambdas...>;

} // namespace tavrel
