# Run on every build (cmake -P): writes the version and the commit the build is made from into
# OUTPUT, which changes (and so rebuilds what includes it) only when the commit does. A tree
# that is not a git checkout is "unknown"; one with uncommitted changes is marked "-modified".
execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed ERROR_QUIET)
if(failed OR commit STREQUAL "")
  set(commit unknown)
else()
  execute_process(COMMAND git -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT changes STREQUAL "")
    string(APPEND commit "-modified")
  endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT
"// Made by cmake/version_stamp.cmake on every build: do not edit.
#pragma once
namespace tavrel::cli {
inline constexpr const char* tool_version = \"${VERSION}\";
inline constexpr const char* tool_commit = \"${commit}\";
}
")
