// The folders of the build tree and those of an installed tree, relative to its prefix, come
// from cmake/layout.cmake.
#include "tool_layout.h"

#include "tool_folders.h"

namespace tavrel::host {

namespace fs = std::filesystem;

namespace {

fs::path runningProgram() {
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program;
}

bool insideFolder(const fs::path& file, const fs::path& folder) {
    const fs::path relative = file.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

ToolFolders buildTreeFolders() {
    return {TAVREL_BUILD_PLUGIN_DIR, TAVREL_BUILD_FMU_DIR, TAVREL_BUILD_PYTHON_DIR};
}

// The program is PREFIX/bin/NAME; without /proc, the folders are relative to the working one.
ToolFolders installedFolders(const fs::path& program) {
    const fs::path prefix =
        program.empty() ? fs::path(".") : program.parent_path() / TAVREL_INSTALL_TO_PREFIX;
    return {(prefix / TAVREL_INSTALL_PLUGIN_DIR).lexically_normal(),
            (prefix / TAVREL_INSTALL_FMU_DIR).lexically_normal(),
            (prefix / TAVREL_INSTALL_PYTHON_DIR).lexically_normal()};
}

} // namespace

const ToolFolders& toolFolders() {
    static const ToolFolders folders = [] {
        const fs::path program = runningProgram();
        return insideFolder(program, TAVREL_BUILD_DIR) ? buildTreeFolders()
                                                       : installedFolders(program);
    }();
    return folders;
}

} // namespace tavrel::host
