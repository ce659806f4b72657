#include "result_files.h"

#include "atomic_file.h"

#include <hdf5.h>
#include <matio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

namespace tavrel::sim {

namespace {

// A separator, the longest shortest-round-trip double ("-2.2250738585072014e-308") and the
// row's newline.
constexpr std::ptrdiff_t max_field_chars = 1 + 24 + 1;
constexpr std::size_t csv_buffer_chars = 4096;

std::string header(const Column& c) {
    return c.unit.empty() ? c.name : c.name + " [" + c.unit + "]";
}

// Gives a complete part file its own name (replacing an older file of that name).
void publish(const std::string& path) {
    const std::string reason = publishPart(path);
    if (!reason.empty()) throw SimulationError("cannot write " + path + ": " + reason);
}

} // namespace

CsvSink::CsvSink(const std::string& path) : path_(path) {}

CsvSink::~CsvSink() {
    if (!file_) return;
    std::fclose(file_);
    std::remove(partPath(path_).c_str());
}

void CsvSink::begin(const std::vector<Column>& columns) {
    file_ = std::fopen(partPath(path_).c_str(), "w");
    if (!file_) throw SimulationError("cannot write " + path_ + ": " + std::strerror(errno));
    std::fputs("time [s]", file_);
    for (const auto& c : columns) {
        std::fputc(',', file_);
        std::fputs(header(c).c_str(), file_);
    }
    std::fputc('\n', file_);
}

// Each number as the shortest text that reads back to the same double; the row is composed
// in a buffer and written in one piece.
void CsvSink::row(double time, const std::vector<double>& values) {
    char line[csv_buffer_chars];
    char* end = line;
    auto put = [&](const char* separator, double v) {
        if (line + sizeof line - end < max_field_chars) {
            std::fwrite(line, 1, static_cast<std::size_t>(end - line), file_);
            end = line;
        }
        while (*separator)
            *end++ = *separator++;
        end = std::to_chars(end, line + sizeof line, v).ptr;
    };
    put("", time);
    for (double v : values)
        put(",", v);
    *end++ = '\n'; // max_field_chars keeps room for it
    std::fwrite(line, 1, static_cast<std::size_t>(end - line), file_);
}

// A write that failed earlier (a full disk) fails again when flushed, which gives its reason.
void CsvSink::end() {
    if (!file_) return;
    std::string reason;
    if (std::fflush(file_) != 0)
        reason = std::strerror(errno);
    else if (std::ferror(file_))
        reason = "a write failed";
    if (std::fclose(file_) != 0 && reason.empty()) reason = std::strerror(errno);
    file_ = nullptr;
    if (!reason.empty()) {
        std::remove(partPath(path_).c_str());
        throw SimulationError("writing " + path_ + " failed: " + reason);
    }
    publish(path_);
}

// The HDF5 library of the distribution is built without thread safety: one thread at a time
// may call it, whichever sink (on whichever thread) is writing.
namespace {
std::mutex& hdf5Lock() {
    static std::mutex lock;
    return lock;
}
} // namespace

namespace {

// UTF-8 text as UTF-16 units; a byte that does not begin or continue a character stands for
// itself.
std::u16string utf16(const std::string& text) {
    std::u16string units;
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k)
            whole = (byte(i + k) & 0xC0) == 0x80;
        if (!whole) {
            units += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
            point = (point << 6) | (byte(i + k) & 0x3F);
        if (point >= 0x10000) {
            point -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (point >> 10));
            units += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            units += static_cast<char16_t>(point);
        }
        i += length;
    }
    return units;
}

} // namespace

// MAT 7.3 (HDF5) lets variables grow by appending: rows are buffered and appended in blocks,
// so memory stays flat however long the run. (Smaller blocks would shorten the last append, for
// which a run waits at its end, but HDF5 keeps an index entry per appended chunk, and a long
// run's memory would grow with them.)
struct MatSink::Impl {
    std::string path;
    mat_t* file = nullptr;
    std::vector<std::string> names; // variable names: "time", then one per column
    std::vector<std::vector<double>> buffer;
    static constexpr size_t block_rows = 4096;
    bool appended = false; // the variables are in the file, extendable
    std::optional<double> interrupted_at;

    ~Impl() {
        if (!file) return;
        const std::lock_guard lock(hdf5Lock());
        Mat_Close(file);
        std::remove(partPath(path).c_str());
    }

    void writeScalar(const char* variable, double value) {
        size_t dims[2] = {1, 1};
        matvar_t* var = Mat_VarCreate(variable, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &value,
                                      MAT_F_DONT_COPY_DATA);
        const int failed = Mat_VarWrite(file, var, MAT_COMPRESSION_NONE);
        Mat_VarFree(var);
        if (failed) throw SimulationError("writing " + path + " failed (" + variable + ")");
    }

    static std::string variableName(const std::string& column, std::set<std::string>& taken) {
        std::string name;
        for (char ch : column)
            name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        while (name.size() > 1 && name.back() == '_')
            name.pop_back();
        if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = "v_" + name;
        name = name.substr(0, 60);
        std::string unique = name;
        for (int i = 2; !taken.insert(unique).second; ++i)
            unique = name + "_" + std::to_string(i);
        return unique;
    }

    // Texts as one char matrix, a row each, padded with blanks: MATLAB and Octave both read
    // a char matrix of a MAT 7.3 file (Octave cannot read a cell array there), and
    // cellstr(columns) gives the texts back. Characters are handed over as the UTF-16 units
    // the file stores: text needing a conversion would make HDF5 clear a 1 MiB conversion
    // buffer for every variable.
    void writeTexts(const char* variable, const std::vector<std::string>& texts) {
        std::vector<std::u16string> rows;
        size_t width = 1;
        for (const auto& text : texts) {
            rows.push_back(utf16(text));
            width = std::max(width, rows.back().size());
        }
        std::vector<char16_t> units(rows.size() * width, u' ');
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c)
                units[c * rows.size() + r] = rows[r][c];
        }
        size_t dims[2] = {rows.size(), width};
        matvar_t* var = Mat_VarCreate(variable, MAT_C_CHAR, MAT_T_UINT16, 2, dims, units.data(),
                                      MAT_F_DONT_COPY_DATA);
        const int failed = Mat_VarWrite(file, var, MAT_COMPRESSION_NONE);
        Mat_VarFree(var);
        if (failed) throw SimulationError("writing " + path + " failed (" + variable + ")");
    }

    // Appends the buffered rows to the variables. When the whole run fits in the first block
    // (`last` with nothing appended yet), each variable is written whole instead: a fixed-size
    // variable takes half the time of an extendable one, and the run waits for this write.
    void flush(bool last) {
        if (buffer.empty() || buffer[0].empty()) return;
        const bool whole = last && !appended;
        for (size_t v = 0; v < names.size(); ++v) {
            size_t dims[2] = {buffer[v].size(), 1};
            matvar_t* var = Mat_VarCreate(names[v].c_str(), MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                          buffer[v].data(), MAT_F_DONT_COPY_DATA);
            const int failed = whole ? Mat_VarWrite(file, var, MAT_COMPRESSION_NONE)
                                     : Mat_VarWriteAppend(file, var, MAT_COMPRESSION_NONE, 1);
            Mat_VarFree(var);
            if (failed) throw SimulationError("writing " + path + " failed (" + names[v] + ")");
            buffer[v].clear();
        }
        appended = !whole;
    }
};

MatSink::MatSink(const std::string& path) : impl_(std::make_unique<Impl>()) { impl_->path = path; }
MatSink::~MatSink() = default;

void MatSink::begin(const std::vector<Column>& columns) {
    Impl& m = *impl_;
    const std::lock_guard lock(hdf5Lock());
    // A failed write is reported once, as this sink's error, not as the HDF5 library's trace.
    // HDF5's own clean-up at exit crashes on a file whose close failed (a full disk); every
    // file here is closed explicitly, so that clean-up is not needed.
    H5dont_atexit();
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    errno = 0;
    m.file = Mat_CreateVer(partPath(m.path).c_str(), nullptr, MAT_FT_MAT73);
    if (!m.file) {
        const std::string reason = errno ? std::string(": ") + std::strerror(errno) : "";
        throw SimulationError("cannot write " + m.path + reason);
    }
    std::set<std::string> taken = {"columns", "variables"};
    m.names = {Impl::variableName("time", taken)};
    std::vector<std::string> headers = {"time [s]"};
    for (const auto& c : columns) {
        m.names.push_back(Impl::variableName(c.name, taken));
        headers.push_back(header(c));
    }
    m.writeTexts("columns", headers);
    m.writeTexts("variables", m.names);
    m.buffer.assign(m.names.size(), {});
}

void MatSink::row(double time, const std::vector<double>& values) {
    Impl& m = *impl_;
    m.buffer[0].push_back(time);
    for (size_t i = 0; i < values.size(); ++i)
        m.buffer[i + 1].push_back(values[i]);
    if (m.buffer[0].size() < Impl::block_rows) return;
    const std::lock_guard lock(hdf5Lock());
    m.flush(false);
}

void MatSink::markInterrupted(double time) { impl_->interrupted_at = time; }

void MatSink::end() {
    Impl& m = *impl_;
    if (!m.file) return;
    const std::lock_guard lock(hdf5Lock());
    m.flush(true);
    if (m.interrupted_at) m.writeScalar("interrupted_at", *m.interrupted_at);
    const int failed = Mat_Close(m.file);
    m.file = nullptr;
    if (failed) {
        std::remove(partPath(m.path).c_str());
        throw SimulationError("writing " + m.path + " failed when closing it");
    }
    publish(m.path);
}

} // namespace tavrel::sim
