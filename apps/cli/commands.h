// The subcommands of `tavrel`; each adds itself to the application and runs in its callback.
#pragma once

#include <CLI/CLI.hpp>

namespace tavrel::cli {

void addSizesCommand(CLI::App& app);    // tavrel sizes BLOCK [--params FILE]
void addEvalCommand(CLI::App& app);     // tavrel eval --json REQUEST
void addRunCommand(CLI::App& app);      // tavrel run [SCENARIO] (with the simulation engine)
void addStudyCommand(CLI::App& app);    // tavrel study STUDY.toml -o DIR (with the study library)
void addFmuCommand(CLI::App& app);      // tavrel fmu BLOCK -o FILE.fmu (with the FMI exporter)
void addOptimizeCommand(CLI::App& app); // tavrel optimize FILE.toml -o DIR (study library + Python)
void addLinearizeCommand(CLI::App& app); // tavrel linearize [SCENARIO] -o DIR (linear analysis)
void addServeCommand(CLI::App& app);     // tavrel serve SCENARIO (a plant on Modbus TCP)
void addDesignCommand(CLI::App& app);    // tavrel design SCENARIO -o DIR (linear analysis + Python)

} // namespace tavrel::cli
