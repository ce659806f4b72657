#include "linear_files.h"

#include <matio.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

namespace tavrel::linear {

namespace {

std::string partPath(const std::string& path) { return path + ".part"; }

void finish(const std::string& path) {
    std::error_code error;
    std::filesystem::rename(partPath(path), path, error);
    if (error) {
        std::filesystem::remove(partPath(path), error);
        throw LinearizeError("cannot write " + path);
    }
}

// One .npy array (format 1.0): the magic, the header's length, the header padded so the data
// starts on a 64-byte boundary, the data.
std::string npyArray(const std::string& descr, const std::string& shape, const void* data,
                     size_t bytes) {
    std::string header =
        "{'descr': '" + descr + "', 'fortran_order': False, 'shape': " + shape + ", }";
    const size_t unpadded = 10 + header.size() + 1;
    header.append((64 - unpadded % 64) % 64, ' ');
    header += '\n';
    std::string out = "\x93NUMPY";
    out += '\x01';
    out += '\x00';
    out += static_cast<char>(header.size() & 0xff);
    out += static_cast<char>(header.size() >> 8);
    out += header;
    out.append(static_cast<const char*>(data), bytes);
    return out;
}

std::string shapeOf(size_t n) { return "(" + std::to_string(n) + ",)"; }

std::string npyMatrix(const Matrix& M) {
    return npyArray("<f8", "(" + std::to_string(M.rows) + ", " + std::to_string(M.cols) + ")",
                    M.values.data(), M.values.size() * sizeof(double));
}

std::string npyVector(const std::vector<double>& v) {
    return npyArray("<f8", shapeOf(v.size()), v.data(), v.size() * sizeof(double));
}

std::string npyScalar(double v) { return npyArray("<f8", "()", &v, sizeof v); }

// Fixed-width unicode (UTF-32 little endian) strings, which numpy loads without pickling.
// The names are ASCII.
std::string npyTexts(const std::vector<std::string>& texts) {
    size_t width = 1;
    for (const auto& t : texts)
        width = std::max(width, t.size());
    std::vector<std::uint32_t> units(texts.size() * width, 0);
    for (size_t i = 0; i < texts.size(); ++i) {
        for (size_t k = 0; k < texts[i].size(); ++k)
            units[i * width + k] = static_cast<unsigned char>(texts[i][k]);
    }
    return npyArray("<U" + std::to_string(width), shapeOf(texts.size()), units.data(),
                    units.size() * sizeof(std::uint32_t));
}

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries npzEntries(const LinearModel& m) {
    return {{"A", npyMatrix(m.A)},
            {"B", npyMatrix(m.B)},
            {"C", npyMatrix(m.C)},
            {"D", npyMatrix(m.D)},
            {"x0", npyVector(m.x0)},
            {"u0", npyVector(m.u0)},
            {"y0", npyVector(m.y0)},
            {"states", npyTexts(m.states)},
            {"state_blocks", npyTexts(m.state_blocks)},
            {"inputs", npyTexts(m.inputs)},
            {"outputs", npyTexts(m.outputs)},
            {"input_units", npyTexts(m.input_units)},
            {"output_units", npyTexts(m.output_units)},
            {"time", npyScalar(m.time)},
            {"residual", npyScalar(m.residual)},
            {"steady", npyScalar(m.steady ? 1.0 : 0.0)},
            {"wave_period", npyScalar(m.wave_period)}};
}

} // namespace

void writeNpz(const LinearModel& model, const std::string& path) {
    const Entries entries = npzEntries(model);
    int error = 0;
    zip_t* archive = zip_open(partPath(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) throw LinearizeError("cannot write " + path);
    bool ok = true;
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        const zip_int64_t index =
            source ? zip_file_add(archive, (name + ".npy").c_str(), source, ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            if (source) zip_source_free(source);
            ok = false;
            break;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    // The buffers must live until the archive is closed: `entries` does.
    if (ok && zip_close(archive) == 0) {
        finish(path);
        return;
    }
    zip_discard(archive);
    {
        std::remove(partPath(path).c_str());
        throw LinearizeError("cannot write " + path);
    }
}

namespace {

struct MatFile {
    mat_t* file;
    std::string path;
    bool failed = false;

    // MATLAB keeps matrices by columns.
    void matrix(const char* name, const Matrix& M) {
        std::vector<double> columns(M.values.size());
        for (size_t r = 0; r < M.rows; ++r) {
            for (size_t c = 0; c < M.cols; ++c)
                columns[c * M.rows + r] = M(r, c);
        }
        size_t dims[2] = {M.rows, M.cols};
        write(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, columns.data(), 0));
    }
    void vector(const char* name, std::vector<double> v) {
        size_t dims[2] = {v.size(), 1};
        write(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, v.data(), 0));
    }
    void texts(const char* name, const std::vector<std::string>& texts) {
        size_t dims[2] = {texts.size(), 1};
        matvar_t* cell = Mat_VarCreate(name, MAT_C_CELL, MAT_T_CELL, 2, dims, nullptr, 0);
        for (size_t i = 0; cell && i < texts.size(); ++i) {
            size_t text_dims[2] = {1, texts[i].size()};
            Mat_VarSetCell(cell, static_cast<int>(i),
                           Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT8, 2, text_dims,
                                         const_cast<char*>(texts[i].data()), 0));
        }
        write(cell);
    }
    void write(matvar_t* var) {
        if (!var || Mat_VarWrite(file, var, MAT_COMPRESSION_NONE) != 0) failed = true;
        if (var) Mat_VarFree(var);
    }
};

} // namespace

void writeMat(const LinearModel& m, const std::string& path) {
    mat_t* file = Mat_CreateVer(partPath(path).c_str(), nullptr, MAT_FT_MAT5);
    if (!file) throw LinearizeError("cannot write " + path);
    MatFile out{file, path};
    out.matrix("A", m.A);
    out.matrix("B", m.B);
    out.matrix("C", m.C);
    out.matrix("D", m.D);
    out.vector("x0", m.x0);
    out.vector("u0", m.u0);
    out.vector("y0", m.y0);
    out.vector("time", {m.time});
    out.vector("residual", {m.residual});
    out.vector("steady", {m.steady ? 1.0 : 0.0});
    out.vector("wave_period", {m.wave_period});
    out.texts("states", m.states);
    out.texts("inputs", m.inputs);
    out.texts("outputs", m.outputs);
    out.texts("input_units", m.input_units);
    out.texts("output_units", m.output_units);
    if (Mat_Close(file) != 0 || out.failed) {
        std::remove(partPath(path).c_str());
        throw LinearizeError("cannot write " + path);
    }
    finish(path);
}

} // namespace tavrel::linear
