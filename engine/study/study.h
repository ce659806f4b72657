// Studies: many runs of one scenario with some of its values varied (grids, lists side by side,
// random draws), each run reduced to a few metrics. A case is the base scenario's document with
// the varied keys written into it, validated exactly like a scenario file.
#pragma once

#include "metrics.h"

#include "scenario.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::study {

// A study file that cannot run; the message names the file, the line, the key and the rule.
struct StudyError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a study is made of, as texts, so that a worker on another machine rebuilds the same
// study (random draws included) without the files.
struct StudySource {
    std::string text;          // the study file
    std::string name;          // its path, for messages
    std::string scenario_text; // the base scenario
    std::string scenario_name; // its path or "<default scenario>"
    std::string base_dir;      // folder for the scenario's relative table files
};

// The texts of a study-like file at `path` (a study or an optimisation): the file and its base
// scenario ("default" or a file relative to it, named by the file's `scenario` key); `what` names
// the file in the message when it cannot be read.
StudySource loadSource(const std::string& path, const char* what);

// Hash of a file's text and its base scenario, kept with results to refuse mixing two.
std::string fingerprintOf(const StudySource& source);

// One case's outcome: a value per metric, or the one-line reason it failed.
struct CaseResult {
    bool ok = false;
    std::vector<double> values;
    std::string error;
    double seconds = 0; // wall time of the run
};

class Study {
  public:
    static Study load(const std::string& path);
    // Parses and validates every case; throws StudyError before anything runs.
    static Study fromSource(StudySource source);
    ~Study();
    Study(Study&&) noexcept;
    Study& operator=(Study&&) noexcept;

    const StudySource& source() const;
    // Hash of the study and its base scenario, kept with the results to refuse mixing studies.
    std::string fingerprint() const;

    const std::vector<std::string>& keys() const; // varied keys as written
    std::vector<std::string> keyHeaders() const;  // "KEY [unit]" (SI), "KEY" when unknown
    const std::vector<Metric>& metrics() const;
    std::vector<std::string> metricHeaders() const;      // "COLUMN:STAT [unit]"
    const std::vector<std::string>& metricUnits() const; // SI, "" for a count
    size_t caseCount() const;
    const char* mode() const; // "grid" (every combination) or "zip" (the lists side by side)
    bool random() const;      // a key is drawn at random (a Monte Carlo study)
    const std::vector<double>& caseValues(size_t index) const; // one per key

    sim::Scenario scenarioFor(size_t index) const;
    // The case as a scenario file: `tavrel run` on it gives the case's numbers bit for bit.
    std::string caseText(size_t index) const;
    // Runs a case to its metrics; never throws for a failing run (ok = false, error set).
    // `results` (optional) receives every logged row as well.
    CaseResult run(size_t index, sim::ResultSink* results = nullptr) const;

  private:
    struct Impl;
    explicit Study(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace tavrel::study
