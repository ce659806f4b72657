// The documents made from the tool's own options, so that a new subcommand or option appears in
// them without an edit: `tavrel --version`, the manual page and the bash completion.
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>

namespace tavrel::cli {

// "tavrel VERSION (commit COMMIT)": the version and the commit the program was built from.
std::string versionLine();

// --version, and the hidden flags that print the manual page (roff) and the bash completion
// script of `app` as it stands when the command line is parsed (every subcommand added).
void addToolDocuments(CLI::App& app);

void writeManualPage(const CLI::App& app, std::ostream& out);
void writeBashCompletion(const CLI::App& app, std::ostream& out);

} // namespace tavrel::cli
