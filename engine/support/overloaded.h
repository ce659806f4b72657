// Lambdas joined into one visitor for std::visit, one lambda per alternative.
#pragma once

namespace tavrel {

template <typename... Lambdas> struct Overloaded : Lambdas... { using Lambdas::operator()...; };

} // namespace tavrel
