// The description of a plug-in the host was not compiled with, from a file NAME.toml beside
// NAME.mexa64: its parameters by name (units, meanings, defaults), ports, states and rules.
// With it, a user's block takes named parameters and ports in scenarios, `tavrel sizes` and
// Python, and its parameters are checked like a shipped block's.
//
//   meaning = "..."
//   [[params]]   name, unit, meaning, default (a number: scalar; a list: vector)
//   [[inputs]]   name, unit, meaning        [[outputs]] and [[states]] alike
//   [[rules]]    positive = "p" | not_negative = "p" | above = "p", other = "q" |
//                entries_within = "p", other = "q" | min_entries = "p", count = n |
//                table_from_zero = "p", count = n
#pragma once

#include "plugin_description.h"

#include <string>

namespace tavrel::host {

// The description of the block in a plug-in file: shipped (by the file's name), from the
// description file beside it, or null when there is neither.
SharedDescription describePlugin(const std::string& plugin_path);

// Reads a description file; errors are HostErrors naming the file, line and key.
SharedDescription readDescriptionFile(const std::string& path, const std::string& block_name);

} // namespace tavrel::host
