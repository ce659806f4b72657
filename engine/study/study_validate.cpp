// A study is refused before anything runs: every varied value alone, then every case as a
// scenario, and the metrics against the columns a first case's setup logs.
#include "study_impl.h"

#include "exact_number.h"
#include "simulation.h"

#include <algorithm>

namespace tavrel::study {

// Every value alone (so a refused value names its own key and line), the base scenario being
// sound; the cases come later.
void Study::Impl::validateValues(const Reader& r) {
    for (const auto& v : variations) {
        std::string first_value, first_rule;
        size_t accepted = 0, refused_before_any = 0;
        for (double value : v.values) {
            toml::table doc = base();
            try {
                for (const auto& key : v.parsed)
                    applyKey(doc, key, value);
            } catch (const std::exception& error) { // the key itself: wrong for every value
                r.fail(v.where, v.keys[0] + " = " + exactNumber(value), error.what());
            }
            try {
                sim::parseScenarioTable(doc, source.scenario_name, source.base_dir);
                ++accepted;
            } catch (const std::exception& error) {
                // A listed value is the file's own mistake. A drawn one may fall where a rule
                // refuses it: that case is recorded as failed, unless no draw is acceptable
                // (then the key or the distribution is wrong).
                if (!v.random)
                    r.fail(v.where, v.keys[0] + " = " + exactNumber(value), error.what());
                if (first_value.empty()) {
                    first_value = v.keys[0] + " = " + exactNumber(value);
                    first_rule = error.what();
                }
                // A hundred refusals before any acceptance: the distribution is wrong; say so
                // now rather than after checking every draw.
                if (accepted == 0 && ++refused_before_any == 100)
                    r.fail(v.where, first_value, first_rule);
            }
        }
        if (accepted == 0 && !first_value.empty()) r.fail(v.where, first_value, first_rule);
    }
}

void Study::Impl::validate(const Reader& r) {
    const toml::node* metrics_node = study_doc["study"]["metrics"].node();
    const bool drawn = std::any_of(variations.begin(), variations.end(),
                                   [](const Variation& v) { return v.random; });
    bool columns_checked = false;
    for (size_t i = 0; i < cases.size(); ++i) {
        sim::Scenario s;
        try {
            s = scenario(cases[i]);
        } catch (const std::exception& error) {
            if (drawn) continue; // recorded as a failed case when it runs
            r.fail(study_doc.get("study"), "case " + std::to_string(i), error.what());
        }
        for (const auto& m : metrics) {
            if (m.needsPeriod() && !(s.summary_period > 0)) {
                r.fail(metrics_node, "study.metrics: \"" + m.text + "\"",
                       "amplitude and phase need a [summary] period");
            }
            if (m.needsWindow() && !s.summary_window) {
                r.fail(metrics_node, "study.metrics: \"" + m.text + "\"",
                       "outside, excursions and worst need a [summary] window");
            }
        }
        if (!columns_checked) {
            // The logged columns come from the blocks' setup; a case that cannot set up fails
            // when it runs, and is recorded then.
            std::vector<sim::Column> columns;
            try {
                columns = sim::Simulation(s).columns();
            } catch (const std::exception&) {
            }
            // Checked now: a misspelt metric is refused before thousands of cases are built.
            checkColumns(r, columns);
            columns_checked = true;
        }
    }
    if (!columns_checked) checkColumns(r, {});
}

void Study::Impl::checkColumns(const Reader& r, const std::vector<sim::Column>& columns) {
    const toml::node* metrics_node = study_doc["study"]["metrics"].node();
    if (!columns.empty()) {
        const std::string missing = missingColumn(metrics, columns);
        if (!missing.empty()) {
            std::vector<std::string> names;
            for (const auto& c : columns)
                names.push_back(c.name);
            r.fail(metrics_node, "study.metrics",
                   "no logged column \"" + missing + "\"" + didYouMean(missing, names));
        }
        for (const auto& m : metrics) {
            for (const auto& c : columns) {
                if (c.name == m.column) metric_units.push_back(metricUnit(m, c.unit));
            }
        }
    } else {
        for (const auto& m : metrics)
            metric_units.push_back(metricUnit(m, ""));
    }
}

} // namespace tavrel::study
