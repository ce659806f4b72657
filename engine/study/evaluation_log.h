// The folder of an optimisation: evaluations.csv (a row per evaluation as it finishes:
// evaluation, each key, objective, each metric with its unit, status, error), result.json
// (where the search stands, or how it ended) and best.toml (the best point as a scenario file),
// beside optimization.id, which keeps a resume to the same optimisation file and scenario. The
// search (tavrel.optimize) scores the points; this log keeps them, and a resumed search replays
// the evaluations kept here instead of running them again.
#pragma once

#include "optimization.h"
#include "progress_bar.h"

#include "result_folder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::study {

struct Evaluation {
    std::vector<double> point; // a value per varied key
    double objective = 0;
    std::vector<double> metrics; // a value per metric of the optimisation
    std::string status;          // "ok", "infeasible" or "failed"
    std::string error;
};

class EvaluationLog {
  public:
    // Opens DIR (fresh, or with `resume` the folder of the same optimisation, whose complete
    // rows are kept); writes result.json as "running". Throws ResultFolderError.
    EvaluationLog(const Optimization& optimization, std::filesystem::path folder, bool resume,
                  bool progress);

    const std::vector<Evaluation>& evaluations() const { return evaluations_; }
    const std::vector<std::string>& columns() const { return columns_; } // evaluations.csv's
    // The best evaluation: status "ok", the least objective, the first of equals; -1 when none.
    long best() const { return best_; }

    void append(Evaluation evaluation);
    // result.json; `stopped` is "running", "finished" or "interrupted".
    void writeState(bool converged, const std::string& message, const std::string& stopped) const;
    // best.toml: the best point's case as a scenario file (nothing without a best).
    void writeBest() const;
    // "N/MAX evaluations, best OBJECTIVE" on standard error, and the line's end.
    void showProgress() const;
    void closeProgress() const { progress_.close(); }

  private:
    std::string header() const;
    std::string row(size_t number, const Evaluation& e) const;
    void keep(const std::string& row);
    void track(size_t number);

    const Optimization& optimization_;
    std::vector<std::string> columns_;
    ResultFolder folder_;
    CsvLog csv_;
    std::vector<Evaluation> evaluations_;
    long best_ = -1;
    ProgressBar progress_;
};

} // namespace tavrel::study
