// The texts a study is made of (the study file and its base scenario) and their fingerprint.
#include "study.h"

#include "bounded_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <toml++/toml.h>

namespace tavrel::study {

namespace {

std::uint64_t fnv1a(const std::string& text, std::uint64_t hash = 0xcbf29ce484222325ull) {
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

std::string readFile(const std::string& path, const char* what) {
    try {
        return readBoundedFile(path,
                               {what, study_file_limits.max_bytes, study_file_limits.max_line});
    } catch (const FileLimitError& error) {
        throw StudyError(error.what());
    }
}

} // namespace

StudySource loadSource(const std::string& path, const char* what) {
    StudySource source;
    source.text = readFile(path, what);
    source.name = path;
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    // The base scenario is read here, so that what runs is fixed by these two texts.
    std::string scenario = "default";
    std::string where = path; // "file:line" of the scenario key
    try {
        const auto doc = toml::parse(source.text, path);
        if (const toml::node* n = doc.get("scenario")) {
            where += ":" + std::to_string(n->source().begin.line);
            const auto text = n->value<std::string>();
            if (!text)
                throw StudyError(where + ": scenario: must be \"default\" or a scenario file");
            scenario = *text;
        }
    } catch (const toml::parse_error&) {
        // reported with its line by fromSource
    }
    if (scenario == "default") {
        source.scenario_text = sim::defaultScenarioText();
        source.scenario_name = "<default scenario>";
        source.base_dir = std::filesystem::current_path().string();
    } else {
        std::filesystem::path file = scenario;
        if (file.is_relative()) file = folder / file;
        try {
            source.scenario_text = readFile(file.string(), "scenario file");
        } catch (const StudyError& error) {
            throw StudyError(where + ": scenario: " + error.what());
        }
        source.scenario_name = file.string();
        source.base_dir = file.parent_path().string();
    }
    return source;
}

std::string fingerprintOf(const StudySource& source) {
    const std::uint64_t hash = fnv1a(source.scenario_text, fnv1a(source.text + '\0'));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace tavrel::study
