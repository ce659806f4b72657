#include "fmu_resources.h"

#include <fstream>
#include <stdexcept>

namespace tavrel::fmi {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text, const std::string& uri) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
        if (low < 0) throw std::runtime_error("bad percent-escape in resource URI " + uri);
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

} // namespace

std::string folderOfFileUri(const std::string& uri) {
    const std::string scheme = "file:";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        throw std::runtime_error("resource location \"" + uri + "\" is not a file: URI");
    std::string rest = uri.substr(scheme.size());
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t path = rest.find('/', 2);
        const std::string host = rest.substr(2, path == std::string::npos ? path : path - 2);
        if (!host.empty() && host != "localhost")
            throw std::runtime_error("resource location \"" + uri + "\" is on another host");
        rest = path == std::string::npos ? "/" : rest.substr(path);
    }
    if (rest.empty() || rest[0] != '/')
        throw std::runtime_error("resource location \"" + uri + "\" has no absolute path");
    return percentDecoded(rest, uri);
}

FmuLayout readResourceLayout(const char* uri) {
    if (!uri) throw std::runtime_error("no resource location given");
    std::string folder = folderOfFileUri(uri);
    if (folder.back() != '/') folder += '/';
    const std::string path = folder + layout_file_name;
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    return readLayout(in, path);
}

} // namespace tavrel::fmi
