# tavrel_add_plugin(NAME SOURCES... LIBS ...): a block plug-in, a shared module named
# NAME.mexa64 that exports only mexFunction and links the array/MEX library, as a MEX file links
# the platform's libraries. In this tree it lands in the plug-in folder; a user's project that
# found the installed package gets it in its own build folder unless TAVREL_PLUGIN_DIR is set.
function(tavrel_add_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tavrel::mx)
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".mexa64"
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(TAVREL_PLUGIN_DIR)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${TAVREL_PLUGIN_DIR})
  endif()
  target_link_options(${name} PRIVATE -Wl,--version-script=${_tavrel_plugin_map})
  # With clang's sanitizers a module leaves the runtime to the program that loads it.
  if(NOT TAVREL_FUZZ)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
set(_tavrel_plugin_map ${CMAKE_CURRENT_LIST_DIR}/plugin.map)
