#include "command_support.h"

#include "block_instance.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
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

std::string readAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

void runCommand(const std::string& command, const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& error) {
        std::cerr << "tavrel " << command << ": " << oneLine(error.what()) << std::endl;
        throw CLI::RuntimeError(1);
    }
}

host::Json readJsonFile(const std::string& path) {
    std::string text;
    if (path == "-") {
        text = readAll(std::cin);
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw host::HostError("cannot read " + path);
        text = readAll(in);
    }
    try {
        return host::Json::parse(text);
    } catch (const host::Json::parse_error& error) {
        throw host::HostError(path + " is not valid JSON: " + error.what());
    }
}

namespace {

// Becomes `/usr/bin/python3 -m MODULE ARGS...` with the package first on PYTHONPATH; returns
// only when the interpreter cannot be started.
void execPython(const std::string& package_dir, const std::string& module,
                const std::vector<std::string>& args) {
    std::vector<std::string> words = {"python3", "-m", module};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const char* old = std::getenv("PYTHONPATH");
    const std::string path = package_dir + (old && *old ? ":" + std::string(old) : "");
    setenv("PYTHONPATH", path.c_str(), 1);
    setenv("MPLBACKEND", "Agg", 0);
    execv("/usr/bin/python3", argv.data());
}

} // namespace

bool runPythonModule(const std::string& package_dir, const std::string& module,
                     const std::vector<std::string>& args) {
    std::fflush(stdout); // what was printed before the module's lines
    const pid_t pid = fork();
    if (pid == 0) {
        execPython(package_dir, module, args);
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void replaceByPythonModule(const std::string& package_dir, const std::string& module,
                           const std::vector<std::string>& args) {
    std::fflush(nullptr);
    execPython(package_dir, module, args);
    throw std::runtime_error("the Python package tavrel could not be started (/usr/bin/python3)");
}

std::string pluginPathFor(const std::string& block_or_path) {
    return host::pluginPath(block_or_path);
}

} // namespace tavrel::cli
