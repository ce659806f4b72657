#include "command_support.h"

#include "block_instance.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

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

std::string pluginPathFor(const std::string& block_or_path) {
    return host::pluginPath(block_or_path);
}

} // namespace tavrel::cli
