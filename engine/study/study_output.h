// DIR/study.csv: one row per case (case, the varied keys, the metrics, status, error), each row
// flushed as its case finishes, so a study stopped at any moment keeps every finished case.
// DIR/study.id holds the study's fingerprint, so that a resume never mixes two studies.
#pragma once

#include "study.h"

#include "result_folder.h"

#include <filesystem>
#include <set>
#include <string>

namespace tavrel::study {

class StudyOutput {
  public:
    // Creates DIR (a fresh one, or with `resume` the folder of the same study, whose complete
    // rows are kept and whose cases are then done). Throws ResultFolderError naming the folder.
    StudyOutput(const Study& study, std::filesystem::path folder, bool resume);

    bool done(size_t index) const { return done_.count(index) != 0; }
    size_t doneCount() const { return done_.size(); }
    void write(size_t index, const CaseResult& result);
    // Once every case is done: the rows in case order (rewritten whole, then renamed over).
    void finish();

    const std::filesystem::path& folder() const { return folder_.path(); }
    const std::filesystem::path& csvPath() const { return csv_.path(); }

  private:
    std::string header() const;
    std::string row(size_t index, const CaseResult& result) const;
    std::vector<std::string> keptRows(); // the complete rows of this study's cases, each once

    const Study& study_;
    ResultFolder folder_;
    CsvLog csv_;
    std::set<size_t> done_;
};

} // namespace tavrel::study
