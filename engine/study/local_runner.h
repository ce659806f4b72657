// Runs a study's missing cases on this machine, N at a time, each in its own worker process
// (a fork), so that a block's per-process state or a crash stays with its case.
#pragma once

#include "study_output.h"

#include <filesystem>
#include <optional>

namespace tavrel::study {

struct LocalRunOptions {
    int jobs = 0;              // 0: every core
    bool progress = false;     // progress bar on standard error
    bool keep_results = false; // also DIR/cases/<case>/{scenario.toml,results.csv}
};

struct LocalRunSummary {
    size_t ran = 0, failed = 0, skipped = 0;
    bool interrupted = false; // stopped by SIGINT or SIGTERM; finished rows are kept
    double wall_seconds = 0;
    double case_seconds = 0; // the runs' own wall times, summed
};

LocalRunSummary runLocal(const Study& study, StudyOutput& output, const LocalRunOptions& options);

} // namespace tavrel::study
