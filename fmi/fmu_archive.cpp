#include "fmu_archive.h"

#include "atomic_file.h"

#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace tavrel::fmi {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

[[noreturn]] void fail(const std::string& path, const std::string& what, zip_t* archive) {
    throw std::runtime_error(path + ": " + what +
                             (archive ? std::string(": ") + zip_strerror(archive) : ""));
}

void addEntry(zip_t* archive, const ArchiveEntry& entry, const std::string& path) {
    zip_source_t* source = entry.from_file.empty()
                               ? zip_source_buffer(archive, entry.text.data(), entry.text.size(), 0)
                               : zip_source_file(archive, entry.from_file.c_str(), 0, -1);
    if (!source) fail(path, "cannot read the content of " + entry.name, archive);
    if (zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        fail(path, "cannot add " + entry.name, archive);
    }
}

} // namespace

void writeArchive(const std::string& path, const std::vector<ArchiveEntry>& entries) {
    for (const auto& entry : entries)
        if (!entry.from_file.empty() && !std::filesystem::is_regular_file(entry.from_file))
            throw std::runtime_error(path + ": " + entry.from_file + " does not exist");
    const std::string partial = partPath(path);
    std::remove(partial.c_str());
    int error = 0;
    Archive archive(zip_open(partial.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!archive)
        throw std::runtime_error(path + ": cannot create the archive (zip error " +
                                 std::to_string(error) + ")");
    for (const auto& entry : entries)
        addEntry(archive.get(), entry, path);
    // The buffers the entries point into live until here: zip_close reads them.
    if (zip_close(archive.get()) != 0) {
        const std::string reason = zip_strerror(archive.get());
        std::remove(partial.c_str());
        throw std::runtime_error(path + ": cannot write the archive: " + reason);
    }
    archive.release();
    const std::string reason = publishPart(path);
    if (!reason.empty()) throw std::runtime_error(path + ": " + reason);
}

} // namespace tavrel::fmi
