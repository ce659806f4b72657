#include "evaluation_log.h"

#include "eval_json.h"
#include "exact_number.h"
#include "units.h"

#include <cstdio>
#include <cstdlib>

namespace tavrel::study {

namespace fs = std::filesystem;

namespace {

// The keys' "KEY [unit]" and the metrics' "METRIC [unit]" headings and units, as a study of
// the start point names them; the bare names when that point is refused (its row says why).
struct Headings {
    std::vector<std::string> keys, metrics, metric_units;
};

Headings headingsOf(const Optimization& optimization) {
    std::vector<double> start;
    Headings bare{{}, optimization.metrics(), {}};
    for (const auto& b : optimization.vary()) {
        start.push_back(b.start);
        bare.keys.push_back(b.key);
    }
    try {
        const Study study = optimization.batch({start});
        return {study.keyHeaders(), study.metricHeaders(), study.metricUnits()};
    } catch (const StudyError&) {
        return bare;
    }
}

// "objective [unit]" with the unit its metrics share (a weighted sum keeps it); bare when
// they differ or are not known.
std::string objectiveHeading(const Optimization& optimization, const Headings& headings) {
    const size_t count = optimization.objectives().size();
    if (headings.metric_units.size() < count || headings.metric_units[0].empty())
        return "objective";
    for (size_t i = 1; i < count; ++i) {
        if (headings.metric_units[i] != headings.metric_units[0]) return "objective";
    }
    return "objective [" + headings.metric_units[0] + "]";
}

std::vector<std::string> columnsOf(const Optimization& optimization) {
    auto headings = headingsOf(optimization);
    std::vector<std::string> columns = {"evaluation"};
    for (auto& key : headings.keys)
        columns.push_back(std::move(key));
    columns.push_back(objectiveHeading(optimization, headings));
    for (auto& h : headings.metrics)
        columns.push_back(std::move(h));
    columns.push_back("status");
    columns.push_back("error");
    return columns;
}

std::string jsonText(const std::string& text) { return host::Json(text).dump(-1, ' ', true); }

} // namespace

EvaluationLog::EvaluationLog(const Optimization& optimization, fs::path folder, bool resume,
                             bool progress)
    : optimization_(optimization), columns_(columnsOf(optimization)),
      folder_(folder, {"optimization", "optimization.id", {"evaluations.csv", "result.json"}},
              optimization.fingerprint(), resume),
      csv_(folder / "evaluations.csv", header(), "optimization"),
      progress_(progress, size_t(optimization.maxEvaluations()), 0, "evaluations") {
    if (folder_.resumed() && fs::exists(csv_.path())) {
        std::vector<std::string> kept;
        for (const auto& r : csv_.completeRows()) {
            const size_t before = evaluations_.size();
            keep(r);
            if (evaluations_.size() > before) kept.push_back(r);
        }
        csv_.rewrite(kept); // without a row cut by a kill
    }
    writeState(false, "running", "running");
}

std::string EvaluationLog::header() const {
    std::string h;
    for (const auto& c : columns_)
        h += (h.empty() ? "" : ",") + csvText(c);
    return h + "\n";
}

std::string EvaluationLog::row(size_t number, const Evaluation& e) const {
    std::string r = std::to_string(number);
    for (double v : e.point)
        r += "," + shortestNumber(v);
    r += "," + shortestNumber(e.objective);
    for (double v : e.metrics)
        r += "," + shortestNumber(v);
    return r + "," + e.status + "," + csvText(e.error) + "\n";
}

// A row read back; one of another shape is left out (it runs again).
void EvaluationLog::keep(const std::string& row) {
    const auto fields = csvFields(row.substr(0, row.size() - 1));
    const size_t keys = optimization_.vary().size();
    if (fields.size() != columns_.size()) return;
    auto number = [&](size_t i) { return std::strtod(fields[i].c_str(), nullptr); };
    Evaluation e;
    for (size_t k = 0; k < keys; ++k)
        e.point.push_back(number(1 + k));
    e.objective = number(1 + keys);
    for (size_t m = 2 + keys; m + 2 < fields.size(); ++m)
        e.metrics.push_back(number(m));
    e.status = fields[fields.size() - 2];
    e.error = fields.back();
    evaluations_.push_back(std::move(e));
    track(evaluations_.size() - 1);
}

void EvaluationLog::track(size_t number) {
    const Evaluation& e = evaluations_[number];
    if (e.status == "ok" && (best_ < 0 || e.objective < evaluations_[size_t(best_)].objective)) {
        best_ = long(number);
    }
}

void EvaluationLog::append(Evaluation evaluation) {
    csv_.append(row(evaluations_.size(), evaluation));
    evaluations_.push_back(std::move(evaluation));
    track(evaluations_.size() - 1);
}

void EvaluationLog::writeState(bool converged, const std::string& message,
                               const std::string& stopped) const {
    const Evaluation* best = best_ < 0 ? nullptr : &evaluations_[size_t(best_)];
    std::string text = "{\n  \"fingerprint\": " + jsonText(optimization_.fingerprint()) +
                       ",\n  \"method\": " + jsonText(methodName(optimization_.method())) +
                       ",\n  \"best\": ";
    if (best) {
        text += "{";
        for (size_t k = 0; k < best->point.size(); ++k) {
            text += std::string(k ? "," : "") + "\n    " + jsonText(optimization_.vary()[k].key) +
                    ": " + shortestNumber(best->point[k]);
        }
        text += "\n  }";
    } else {
        text += "null";
    }
    text += ",\n  \"objective\": " + (best ? shortestNumber(best->objective) : "null") +
            ",\n  \"best_evaluation\": " + (best ? std::to_string(best_) : "null") +
            ",\n  \"evaluations\": " + std::to_string(evaluations_.size()) +
            ",\n  \"converged\": " + (converged ? "true" : "false") +
            ",\n  \"message\": " + jsonText(message) + ",\n  \"stopped\": " + jsonText(stopped) +
            "\n}\n";
    folder_.writeWhole("result.json", text);
}

void EvaluationLog::writeBest() const {
    if (best_ < 0) return;
    const Evaluation& best = evaluations_[size_t(best_)];
    const std::string text = "# Best point of " + optimization_.source().name + ": objective " +
                             shortestNumber(best.objective) + " (evaluation " +
                             std::to_string(best_) + ")\n" +
                             optimization_.batch({best.point}).caseText(0);
    folder_.writeWhole("best.toml", text);
}

void EvaluationLog::showProgress() const {
    char best[48] = "none feasible";
    if (best_ >= 0) {
        // In the objective's display unit, as the outcome is printed.
        const std::string& heading = columns_[1 + optimization_.vary().size()];
        const auto open = heading.find(" [");
        const DisplayUnit unit = displayUnit(
            open == std::string::npos ? "" : heading.substr(open + 2, heading.size() - open - 3));
        std::snprintf(best, sizeof best, "%.6g %s",
                      evaluations_[size_t(best_)].objective / unit.size,
                      unit.shown == "1" ? "" : unit.shown.c_str());
    }
    progress_.show(std::to_string(evaluations_.size()) + "/" +
                   std::to_string(optimization_.maxEvaluations()) + " evaluations, best " + best);
}

} // namespace tavrel::study
