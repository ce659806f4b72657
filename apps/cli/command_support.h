// What the subcommands share: error reporting as one line on standard error with a non-zero
// exit, and reading JSON files.
#pragma once

#include "eval_json.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace tavrel::cli {

// Runs a subcommand's work. A failure prints "tavrel COMMAND: MESSAGE" as one line on standard
// error and ends the program with exit code 1; the work prints to standard output only after
// it has succeeded.
void runCommand(const std::string& command, const std::function<void()>& work);

// Reads and parses a JSON file ("-": standard input); throws naming the file and the problem.
host::Json readJsonFile(const std::string& path);

// -o,--output DIR: the folder a command writes (its default shown in the help).
void addOutputFolder(CLI::App& command, std::string& folder);

// -j,--jobs N (`what` run at once, default every core) and --resume (`resume_help`): the options
// of a command that runs many cases.
void addCaseRunning(CLI::App& command, int& jobs, bool& resume, const std::string& what,
                    const char* resume_help);

// A block name ("tavrel") or a plug-in file (any text with a '/' or ending in ".mexa64").
std::string pluginPathFor(const std::string& block_or_path);

// Runs `/usr/bin/python3 -m MODULE ARGS...` with the tool's Python package (toolFolders())
// first on PYTHONPATH and matplotlib drawing to files; its exit code (127: the interpreter could
// not be started, -1: it ended otherwise).
int runPythonModule(const std::string& module, const std::vector<std::string>& args);

// The same in place of this process, so that the module's exit code and Ctrl-C are the
// command's own; throws when the interpreter cannot be started.
void replaceByPythonModule(const std::string& module, const std::vector<std::string>& args);

// The pictures and pages a command draws: `python3 -m tavrel.figures KIND` of the package
// built with the program, one kind per command that draws.
enum class FigureKind { run, study };

// The interpreter that draws them, started before the command's work so that Python and its
// libraries load while the work runs (a second core is there for it); it draws when told to,
// after the work. Figures are an extra to the result files, so neither outcome changes the
// command's exit code: without /usr/bin/python3, matplotlib or the package they are skipped,
// and a drawing that fails is reported, each as one line on standard error. Destroyed without
// draw() (the work failed), the interpreter is ended without drawing anything.
class FigureDrawer {
  public:
    FigureDrawer(FigureKind kind, const std::vector<std::string>& args);
    ~FigureDrawer();
    FigureDrawer(const FigureDrawer&) = delete;
    FigureDrawer& operator=(const FigureDrawer&) = delete;
    void draw();

  private:
    std::string name_;
    int pid_ = -1;
    int go_ = -1; // the write end of the interpreter's standard input
};

// Starts the drawer and draws at once (for work that is already done).
void drawFigures(FigureKind kind, const std::vector<std::string>& args);

} // namespace tavrel::cli
