# tavrel_add_plugin(NAME SOURCES... LIBS ...): a block plug-in, a shared module named
# NAME.mexa64 in the plug-in folder that exports only mexFunction and links the array/MEX
# library, as a MEX file links the platform's libraries.
function(tavrel_add_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tavrel_mx)
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".mexa64"
    LIBRARY_OUTPUT_DIRECTORY ${TAVREL_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${name} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin.map)
  # With clang's sanitizers a module leaves the runtime to the program that loads it.
  if(NOT TAVREL_FUZZ)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
