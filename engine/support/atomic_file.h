// Files that appear under their own name only when complete: each is written under its part
// name (the path plus ".part") and renamed over its own name at the end, so that a reader, a
// crash or a full disk never leaves a half-written file under the name of a whole one.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace tavrel {

inline std::string partPath(const std::string& path) { return path + ".part"; }

// Renames a complete part file over `path`; returns why it failed (the part is then removed),
// or empty.
inline std::string publishPart(const std::string& path) {
    if (std::rename(partPath(path).c_str(), path.c_str()) == 0) return {};
    const std::string reason = std::strerror(errno);
    std::remove(partPath(path).c_str());
    return reason;
}

// Writes `text` as the whole file `path`; returns why it failed (nothing is left), or empty.
inline std::string writeWholeFile(const std::string& path, const std::string& text) {
    {
        std::ofstream out(partPath(path), std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            std::remove(partPath(path).c_str());
            return "writing failed";
        }
    }
    return publishPart(path);
}

} // namespace tavrel
