#include "result_folder.h"

#include "atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

namespace tavrel {

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string article(const std::string& noun) {
    return std::string("aeiou").find(noun.empty() ? 'x' : noun[0]) == std::string::npos ? "a "
                                                                                        : "an ";
}

} // namespace

ResultFolder::ResultFolder(fs::path folder, ResultKind kind, const std::string& fingerprint,
                           bool resume)
    : path_(std::move(folder)), kind_(std::move(kind)) {
    const fs::path id_path = path_ / kind_.id_file;
    const std::string id = "tavrel " + kind_.noun + " " + fingerprint + "\n";
    if (resume && fs::exists(id_path)) {
        if (readText(id_path) != id) {
            throw ResultFolderError(path_.string() + ": was written by a different " + kind_.noun +
                                    " file or scenario; resume refused");
        }
        resumed_ = true;
    } else {
        bool used = fs::exists(id_path);
        for (const auto& name : kind_.results)
            used = used || fs::exists(path_ / name);
        if (used && resume) {
            throw ResultFolderError(path_.string() + ": has no " + kind_.id_file +
                                    " to say which " + kind_.noun + " wrote it; resume refused");
        }
        if (used) {
            throw ResultFolderError(path_.string() + ": holds " + article(kind_.noun) + kind_.noun +
                                    " already (--resume continues it; choose another folder for "
                                    "a new one)");
        }
    }
    std::error_code error;
    fs::create_directories(path_, error);
    if (error) throw ResultFolderError(path_.string() + ": cannot create: " + error.message());
    writeWhole(kind_.id_file, id);
}

void ResultFolder::writeWhole(const std::string& name, const std::string& text) const {
    writeFile(path_ / name, text);
}

void ResultFolder::writeFile(const fs::path& path, const std::string& text) {
    const std::string reason = writeWholeFile(path.string(), text);
    if (!reason.empty()) throw ResultFolderError(path.string() + ": cannot write: " + reason);
}

RunFiles::RunFiles(fs::path folder, std::string manifest, std::vector<std::string> names)
    : folder_(std::move(folder)), manifest_(std::move(manifest)), names_(std::move(names)) {}

void RunFiles::clearEarlierRun(bool force) const {
    std::vector<std::string> listed;
    std::istringstream manifest(readText(folder_ / manifest_));
    for (std::string name; std::getline(manifest, name);) {
        // Only a name of this command's files: a manifest edited by hand removes nothing else.
        if (std::find(names_.begin(), names_.end(), name) != names_.end()) listed.push_back(name);
    }
    std::string strangers;
    for (const auto& name : names_) {
        const bool ours = std::find(listed.begin(), listed.end(), name) != listed.end();
        if (!ours && fs::exists(folder_ / name))
            strangers += (strangers.empty() ? "" : ", ") + name;
    }
    if (!strangers.empty() && !force) {
        throw ResultFolderError(folder_.string() + ": holds " + strangers + " that no earlier " +
                                "run recorded in " + manifest_ + " (--force replaces them; or " +
                                "choose another folder)");
    }
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) throw ResultFolderError(folder_.string() + ": cannot create: " + error.message());
    for (const auto& name : names_) {
        fs::remove(folder_ / name, error);
        if (error) {
            throw ResultFolderError((folder_ / name).string() +
                                    ": cannot remove the earlier run's file: " + error.message());
        }
    }
    std::string text;
    for (const auto& name : names_)
        text += name + "\n";
    ResultFolder::writeFile(folder_ / manifest_, text);
}

std::vector<std::string> RunFiles::record() const {
    std::vector<std::string> present;
    std::string text;
    for (const auto& name : names_) {
        if (!fs::exists(folder_ / name)) continue;
        present.push_back(name);
        text += name + "\n";
    }
    if (present.empty()) {
        std::error_code ignored;
        fs::remove(folder_ / manifest_, ignored);
    } else {
        ResultFolder::writeFile(folder_ / manifest_, text);
    }
    return present;
}

CsvLog::CsvLog(fs::path path, std::string header, std::string owner)
    : path_(std::move(path)), header_(std::move(header)), owner_(std::move(owner)) {}

CsvLog::~CsvLog() {
    if (file_) std::fclose(file_);
}

std::vector<std::string> CsvLog::completeRows() const {
    const std::string text = readText(path_);
    if (text.empty()) return {};
    if (text.compare(0, header_.size(), header_) != 0) {
        throw ResultFolderError(path_.string() + ": its header is not this " + owner_ +
                                "'s; resume refused");
    }
    std::vector<std::string> rows;
    size_t start = header_.size();
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        rows.push_back(text.substr(start, end - start + 1));
    }
    return rows; // a row cut by a kill has no newline: it is left out
}

void CsvLog::rewrite(const std::vector<std::string>& rows) {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    std::string text = header_;
    for (const auto& r : rows)
        text += r;
    ResultFolder::writeFile(path_, text);
    file_ = std::fopen(path_.c_str(), "a");
    if (!file_) throw ResultFolderError(path_.string() + ": cannot write: " + std::strerror(errno));
}

void CsvLog::append(const std::string& row) {
    if (!file_) rewrite({});
    if (std::fputs(row.c_str(), file_) < 0 || std::fflush(file_) != 0) {
        throw ResultFolderError(path_.string() + ": writing failed: " + std::strerror(errno));
    }
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string csvText(const std::string& text) {
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    return csvField(formula ? "'" + text : text);
}

std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

void writeCsvTable(const fs::path& path, const std::vector<std::vector<std::string>>& lines) {
    std::string text;
    for (const auto& fields : lines) {
        for (size_t f = 0; f < fields.size(); ++f)
            text += (f ? "," : "") + csvField(fields[f]);
        text += "\r\n";
    }
    ResultFolder::writeFile(path, text);
}

} // namespace tavrel
