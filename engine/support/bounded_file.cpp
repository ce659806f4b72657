#include "bounded_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel {

namespace {

std::string sizeText(std::size_t bytes) {
    if (bytes % mebibyte == 0) return std::to_string(bytes / mebibyte) + " MiB";
    if (bytes % kibibyte == 0) return std::to_string(bytes / kibibyte) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// Closes the descriptor it owns.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

// Reads `fd` to its end in pieces, checking the bounds as it goes.
std::string readAll(int fd, const std::string& name, const FileLimits& limits) {
    std::string text;
    char piece[1 << 16];
    std::size_t line = 1, line_length = 0;
    for (;;) {
        const ssize_t got = read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            throw FileLimitError("cannot read the " + std::string(limits.what) + " \"" + name +
                                 "\" (" + std::strerror(errno) + ")");
        }
        if (got == 0) return text;
        for (ssize_t i = 0; i < got; ++i) {
            if (piece[i] == '\n') {
                ++line;
                line_length = 0;
            } else if (++line_length > limits.max_line) {
                throw FileLimitError(name + ":" + std::to_string(line) + ": a line of the " +
                                     limits.what + " is longer than " + sizeText(limits.max_line));
            }
        }
        if (text.size() + static_cast<std::size_t>(got) > limits.max_bytes) {
            throw FileLimitError(name + ": the " + std::string(limits.what) + " is larger than " +
                                 sizeText(limits.max_bytes));
        }
        text.append(piece, static_cast<std::size_t>(got));
    }
}

} // namespace

std::string readBoundedFile(const std::string& path, const FileLimits& limits) {
    // Not blocking: opening a FIFO must not wait for a writer before it is refused.
    const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        throw FileLimitError("cannot read the " + std::string(limits.what) + " \"" + path + "\" (" +
                             std::strerror(errno) + ")");
    }
    struct stat status {};
    if (fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        throw FileLimitError(path + ": the " + std::string(limits.what) +
                             " is not a regular file (a folder, device or FIFO)");
    }
    if (static_cast<std::size_t>(status.st_size) > limits.max_bytes) {
        throw FileLimitError(path + ": the " + std::string(limits.what) + " is larger than " +
                             sizeText(limits.max_bytes));
    }
    return readAll(file.fd, path, limits);
}

std::string readBoundedInput(const FileLimits& limits) {
    return readAll(STDIN_FILENO, "standard input", limits);
}

} // namespace tavrel
