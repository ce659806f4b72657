#include "command_support.h"

#include "block_instance.h"
#include "bounded_file.h"
#include "stop_signals.h"
#include "tool_layout.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrel::cli {

namespace {

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

void addOutputFolder(CLI::App& command, std::string& folder) {
    command.add_option("-o,--output", folder, "folder for the results")->capture_default_str();
}

void addCaseRunning(CLI::App& command, int& jobs, bool& resume, const std::string& what,
                    const char* resume_help) {
    command.add_option("-j,--jobs", jobs, what + " run at once (default: every core)")
        ->check(CLI::NonNegativeNumber);
    command.add_flag("--resume", resume, resume_help);
}

void runCommand(const std::string& command, const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& error) {
        std::cerr << "tavrel " << command << ": " << oneLine(error.what()) << std::endl;
        // Work that a stop ended exits as a program ended by that signal would (130, 143).
        const int stop = StopSignals::requested();
        throw CLI::RuntimeError(stop ? 128 + stop : 1);
    }
}

host::Json readJsonFile(const std::string& path) {
    const std::string text =
        path == "-" ? readBoundedInput(json_file_limits) : readBoundedFile(path, json_file_limits);
    try {
        return host::Json::parse(text);
    } catch (const host::Json::parse_error& error) {
        throw host::HostError(path + " is not valid JSON: " + error.what());
    }
}

namespace {

// Becomes `/usr/bin/python3 WORDS...` with the tool's package first on PYTHONPATH and matplotlib
// drawing to files; returns only when the interpreter cannot be started.
void execPython(std::vector<std::string> words) {
    words.insert(words.begin(), "python3");
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const char* old = std::getenv("PYTHONPATH");
    const std::string path =
        host::toolFolders().python.string() + (old && *old ? ":" + std::string(old) : "");
    setenv("PYTHONPATH", path.c_str(), 1);
    setenv("MPLBACKEND", "Agg", 0);
    execv("/usr/bin/python3", argv.data());
}

std::vector<std::string> moduleWords(const std::string& module,
                                     const std::vector<std::string>& args) {
    std::vector<std::string> words = {"-m", module};
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

constexpr int python_missing = 127; // the child's exit code when execv failed

// Runs the interpreter as a child; its exit code, or -1 when it ended otherwise.
int runPython(const std::vector<std::string>& words) {
    std::fflush(stdout); // what was printed before the module's lines
    const pid_t pid = fork();
    if (pid == 0) {
        execPython(words);
        _exit(python_missing);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The exit code of tavrel.figures (its LACKING) when matplotlib or the package is not there,
// so that a machine without them is told so rather than shown a traceback. The interpreter
// waits for "go" on its standard input before it draws (tavrel.figures.__main__.launched).
constexpr int lacking = 77;
std::string figuresScript() {
    return "import sys\n"
           "try:\n"
           "    from tavrel.figures.__main__ import launched\n"
           "except ImportError:\n"
           "    sys.stdin.read()\n"
           "    sys.exit(" +
           std::to_string(lacking) +
           ")\n"
           "sys.argv[0] = 'tavrel.figures'\n"
           "sys.exit(launched(sys.argv[1:]))\n";
}

struct FigureKindName {
    FigureKind kind;
    const char* name; // the kind of tavrel.figures and the command that draws it
};
constexpr FigureKindName figure_kinds[] = {{FigureKind::run, "run"}, {FigureKind::study, "study"}};

const char* kindName(FigureKind kind) {
    for (const auto& entry : figure_kinds)
        if (entry.kind == kind) return entry.name;
    throw std::logic_error("a figure kind without a name");
}

} // namespace

int runPythonModule(const std::string& module, const std::vector<std::string>& args) {
    return runPython(moduleWords(module, args));
}

void replaceByPythonModule(const std::string& module, const std::vector<std::string>& args) {
    std::fflush(nullptr);
    execPython(moduleWords(module, args));
    throw std::runtime_error("the Python package tavrel could not be started (/usr/bin/python3)");
}

FigureDrawer::FigureDrawer(FigureKind kind, const std::vector<std::string>& args)
    : name_(kindName(kind)) {
    std::vector<std::string> words = {"-c", figuresScript(), name_};
    words.insert(words.end(), args.begin(), args.end());
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    std::fflush(nullptr); // nothing printed so far is printed twice
    pid_ = fork();
    if (pid_ == 0) {
        // Ctrl-C stops the command's work, which then ends this child; drawing, it is
        // the interpreter's again (launched() takes it back).
        std::signal(SIGINT, SIG_IGN);
        dup2(ends[0], STDIN_FILENO);
        execPython(words);
        _exit(python_missing);
    }
    close(ends[0]);
    if (pid_ < 0) {
        close(ends[1]);
        return;
    }
    go_ = ends[1];
}

FigureDrawer::~FigureDrawer() {
    if (go_ >= 0) close(go_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM); // still loading its libraries: nothing of it is wanted
        waitpid(pid_, nullptr, 0);
    }
}

void FigureDrawer::draw() {
    int code = python_missing;
    if (pid_ > 0) {
        std::fflush(stdout); // the command's lines before the figures' own
        // An interpreter that has ended already must not end this program by SIGPIPE.
        struct sigaction ignore {
        }, previous{};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        [[maybe_unused]] const ssize_t written = write(go_, "go\n", 3);
        sigaction(SIGPIPE, &previous, nullptr);
        close(go_);
        go_ = -1;
        int status = 0;
        const bool waited = waitpid(pid_, &status, 0) == pid_;
        pid_ = -1;
        code = waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (code == 0) return;
    if (code == lacking || code == python_missing) {
        std::fprintf(stderr,
                     "tavrel %s: no figures (they take /usr/bin/python3 with matplotlib "
                     "and the Python package tavrel)\n",
                     name_.c_str());
    } else {
        const std::string how =
            code < 0 ? "ended on a signal" : "exited with " + std::to_string(code);
        std::fprintf(stderr,
                     "tavrel %s: drawing the figures failed (tavrel.figures %s %s); the "
                     "results are complete\n",
                     name_.c_str(), name_.c_str(), how.c_str());
    }
}

void drawFigures(FigureKind kind, const std::vector<std::string>& args) {
    FigureDrawer(kind, args).draw();
}

std::string pluginPathFor(const std::string& block_or_path) {
    return host::pluginPath(block_or_path);
}

} // namespace tavrel::cli
