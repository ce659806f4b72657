#include "study_output.h"

#include "exact_number.h"

#include <cstdlib>
#include <map>

namespace tavrel::study {

namespace fs = std::filesystem;

namespace {

// The case number that starts a row, or -1.
long caseOf(const std::string& row) {
    char* end = nullptr;
    const long index = std::strtol(row.c_str(), &end, 10);
    return end != row.c_str() && *end == ',' && index >= 0 ? index : -1;
}

} // namespace

StudyOutput::StudyOutput(const Study& study, fs::path folder, bool resume)
    : study_(study),
      folder_(folder, {"study", "study.id", {"study.csv"}}, study.fingerprint(), resume),
      csv_(folder / "study.csv", header(), "study") {
    // Rewritten from the complete rows, so that a row cut by a kill does not remain.
    csv_.rewrite(folder_.resumed() ? keptRows() : std::vector<std::string>{});
}

std::string StudyOutput::header() const {
    std::string h = "case";
    for (const auto& key : study_.keyHeaders())
        h += "," + csvText(key);
    for (const auto& metric : study_.metricHeaders())
        h += "," + csvText(metric);
    return h + ",status,error\n";
}

std::string StudyOutput::row(size_t index, const CaseResult& result) const {
    std::string r = std::to_string(index);
    for (double v : study_.caseValues(index))
        r += "," + exactNumber(v);
    for (size_t m = 0; m < study_.metrics().size(); ++m) {
        r += ",";
        if (result.ok) r += exactNumber(result.values[m]);
    }
    return r + (result.ok ? ",ok," : ",failed," + csvText(result.error)) + "\n";
}

std::vector<std::string> StudyOutput::keptRows() {
    std::vector<std::string> rows;
    for (auto& r : csv_.completeRows()) {
        const long index = caseOf(r);
        if (index < 0 || size_t(index) >= study_.caseCount() || done(size_t(index))) continue;
        done_.insert(size_t(index));
        rows.push_back(std::move(r));
    }
    return rows;
}

void StudyOutput::write(size_t index, const CaseResult& result) {
    if (done(index)) return;
    csv_.append(row(index, result));
    done_.insert(index);
}

void StudyOutput::finish() {
    std::map<long, std::string> rows;
    for (auto& r : csv_.completeRows())
        rows.emplace(caseOf(r), std::move(r));
    std::vector<std::string> ordered;
    for (auto& [index, r] : rows)
        ordered.push_back(std::move(r));
    csv_.rewrite(ordered);
}

} // namespace tavrel::study
