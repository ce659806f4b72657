#include "study_output.h"

#include "atomic_file.h"
#include "exact_number.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace tavrel::study {

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The case number that starts a row, or -1.
long caseOf(const std::string& row) {
    char* end = nullptr;
    const long index = std::strtol(row.c_str(), &end, 10);
    return end != row.c_str() && *end == ',' && index >= 0 ? index : -1;
}

} // namespace

StudyOutput::StudyOutput(const Study& study, fs::path folder, bool resume)
    : study_(study), folder_(std::move(folder)) {
    const fs::path id_path = folder_ / "study.id";
    const std::string id = "tavrel study " + study.fingerprint() + "\n";
    std::vector<std::string> kept;
    if (resume && fs::exists(id_path)) {
        if (readText(id_path) != id) {
            throw StudyError(folder_.string() +
                             ": was written by a different study file or scenario; resume refused");
        }
        kept = readCompleteRows(header());
    } else if (fs::exists(csvPath()) || fs::exists(id_path)) {
        throw StudyError(folder_.string() + ": holds a study already (--resume continues it; "
                                            "choose another folder for a new one)");
    }
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) throw StudyError(folder_.string() + ": cannot create: " + error.message());
    std::ofstream(id_path, std::ios::binary) << id;
    // Rewritten from the complete rows, so that a row cut by a kill does not remain.
    std::string text = header();
    for (const auto& r : kept) text += r;
    writeCsv(text);
    file_ = std::fopen(csvPath().c_str(), "a");
    if (!file_) throw StudyError(csvPath().string() + ": cannot write: " + std::strerror(errno));
}

void StudyOutput::writeCsv(const std::string& text) const {
    const std::string reason = writeWholeFile(csvPath().string(), text);
    if (!reason.empty()) throw StudyError(csvPath().string() + ": cannot write: " + reason);
}

StudyOutput::~StudyOutput() {
    if (file_) std::fclose(file_);
}

std::string StudyOutput::header() const {
    std::string h = "case";
    for (const auto& key : study_.keys()) h += "," + quoted(key);
    for (const auto& metric : study_.metricHeaders()) h += "," + quoted(metric);
    return h + ",status,error\n";
}

std::string StudyOutput::row(size_t index, const CaseResult& result) const {
    std::string r = std::to_string(index);
    for (double v : study_.caseValues(index)) r += "," + exactNumber(v);
    for (size_t m = 0; m < study_.metrics().size(); ++m) {
        r += ",";
        if (result.ok) r += exactNumber(result.values[m]);
    }
    return r + (result.ok ? ",ok," : ",failed," + quoted(result.error)) + "\n";
}

// Rows that end with a newline and name a case of this study, each case once.
std::vector<std::string> StudyOutput::readCompleteRows(const std::string& expected_header) {
    std::ifstream in(csvPath(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty()) return {};
    if (text.compare(0, expected_header.size(), expected_header) != 0) {
        throw StudyError(csvPath().string() + ": its header is not this study's; resume refused");
    }
    std::vector<std::string> rows;
    size_t start = expected_header.size();
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string r = text.substr(start, end - start + 1);
        const long index = caseOf(r);
        if (index < 0 || size_t(index) >= study_.caseCount() || done(size_t(index))) continue;
        done_.insert(size_t(index));
        rows.push_back(std::move(r));
    }
    return rows;
}

void StudyOutput::write(size_t index, const CaseResult& result) {
    if (done(index)) return;
    const std::string r = row(index, result);
    if (std::fputs(r.c_str(), file_) < 0 || std::fflush(file_) != 0) {
        throw StudyError(csvPath().string() + ": writing failed: " + std::strerror(errno));
    }
    done_.insert(index);
}

void StudyOutput::finish() {
    if (std::fflush(file_) != 0) throw StudyError(csvPath().string() + ": writing failed");
    std::ifstream in(csvPath(), std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::map<long, std::string> rows;
    while (std::getline(in, line)) rows.emplace(caseOf(line), line);
    std::string text = header();
    for (const auto& [index, r] : rows) text += r + '\n';
    std::fclose(file_);
    file_ = nullptr;
    writeCsv(text);
    file_ = std::fopen(csvPath().c_str(), "a");
}

} // namespace tavrel::study
