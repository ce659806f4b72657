// tavrel eval --json REQUEST: evaluates a block at a state through the plug-in protocol and
// prints the response object.
#include "command_support.h"
#include "commands.h"

#include <iostream>
#include <memory>

namespace tavrel::cli {

void addEvalCommand(CLI::App& app) {
    auto request_file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "eval", "Evaluate a block at a state (sizes, initial state, outputs, derivatives)");
    command->add_option("--json", *request_file, "request file (\"-\": standard input)")
        ->required();
    command->callback([request_file] {
        runCommand("eval", [&] {
            const std::string response =
                host::formatJson(host::evaluateJson(readJsonFile(*request_file)));
            std::cout << response << std::endl;
        });
    });
}

} // namespace tavrel::cli
