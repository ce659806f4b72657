// Reading a file a user names, with bounds: only a regular file (a device such as /dev/zero, a
// FIFO or a folder is refused before anything is read), at most a size per kind of file, lines
// at most a length per kind. Memory stays within the bound whatever the file holds, and a file
// over it is refused as soon as the read passes it.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace tavrel {

struct FileLimits {
    const char* what;      // "scenario file", for the messages
    std::size_t max_bytes; // the whole file
    std::size_t max_line;  // one line, without its line break
};

inline constexpr std::size_t mebibyte = std::size_t{1} << 20;
inline constexpr std::size_t kibibyte = std::size_t{1} << 10;

// The limits of each kind of file (the README's table lists them).
inline constexpr FileLimits scenario_file_limits{"scenario file", 16 * mebibyte, mebibyte};
inline constexpr FileLimits study_file_limits{"study file", 16 * mebibyte, mebibyte};
inline constexpr FileLimits table_file_limits{"table file", 256 * mebibyte, 64 * kibibyte};
inline constexpr FileLimits measured_file_limits{"measured file", 256 * mebibyte, 64 * kibibyte};
inline constexpr FileLimits description_file_limits{"description file", mebibyte, 64 * kibibyte};
inline constexpr FileLimits json_file_limits{"JSON file", 64 * mebibyte, 64 * mebibyte};

// A file that cannot be read or is over its limits; the message names the file, the line where
// a line is too long, and the limit.
struct FileLimitError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The whole text of the regular file `path`.
std::string readBoundedFile(const std::string& path, const FileLimits& limits);

// The whole text of standard input (whatever kind of file it is), with the same bounds.
std::string readBoundedInput(const FileLimits& limits);

} // namespace tavrel
