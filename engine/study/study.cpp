#include "study.h"

#include "study_impl.h"

#include "exact_number.h"
#include "result_files.h"
#include "simulation.h"

#include <algorithm>
#include <chrono>
#include <sstream>

namespace tavrel::study {

namespace {

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

Study::Study(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Study::~Study() = default;
Study::Study(Study&&) noexcept = default;
Study& Study::operator=(Study&&) noexcept = default;

Study Study::load(const std::string& path) { return fromSource(loadSource(path, "study file")); }

Study Study::fromSource(StudySource source) {
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(source);
    impl->parse();
    return Study(std::move(impl));
}

const StudySource& Study::source() const { return impl_->source; }

std::string Study::fingerprint() const { return fingerprintOf(impl_->source); }

const std::vector<std::string>& Study::keys() const { return impl_->keys; }
const std::vector<Metric>& Study::metrics() const { return impl_->metrics; }

std::vector<std::string> Study::keyHeaders() const {
    std::vector<std::string> headers;
    for (size_t k = 0; k < impl_->keys.size(); ++k) {
        const std::string& unit = impl_->key_units[k];
        headers.push_back(impl_->keys[k] + (unit.empty() ? "" : " [" + unit + "]"));
    }
    return headers;
}

const std::vector<std::string>& Study::metricUnits() const { return impl_->metric_units; }

std::vector<std::string> Study::metricHeaders() const {
    std::vector<std::string> headers;
    for (size_t i = 0; i < impl_->metrics.size(); ++i) {
        const std::string& unit = impl_->metric_units[i];
        headers.push_back(impl_->metrics[i].text + (unit.empty() ? "" : " [" + unit + "]"));
    }
    return headers;
}

size_t Study::caseCount() const { return impl_->cases.size(); }
const char* Study::mode() const { return modeName(impl_->mode); }
bool Study::random() const { return impl_->random; }
const std::vector<double>& Study::caseValues(size_t index) const { return impl_->cases.at(index); }

sim::Scenario Study::scenarioFor(size_t index) const { return impl_->scenario(caseValues(index)); }

std::string Study::caseText(size_t index) const {
    std::ostringstream text;
    text << "# Case " << index << " of " << impl_->source.name << " (scenario "
         << impl_->source.scenario_name << ")\n";
    for (size_t k = 0; k < keys().size(); ++k) {
        text << "#   " << keys()[k] << " = " << exactNumber(caseValues(index)[k]) << "\n";
    }
    return text.str() + sim::scenarioText(impl_->document(caseValues(index)));
}

CaseResult Study::run(size_t index, sim::ResultSink* results) const {
    const auto start = std::chrono::steady_clock::now();
    CaseResult result;
    try {
        const sim::Scenario scenario = scenarioFor(index);
        MetricSink metrics(impl_->metrics, scenario);
        if (results) {
            sim::TeeSink both({&metrics, results});
            sim::runScenario(scenario, both);
        } else {
            sim::runScenario(scenario, metrics);
        }
        result.values = metrics.values();
        result.ok = true;
    } catch (const std::exception& error) {
        result.error = oneLine(error.what());
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace tavrel::study
