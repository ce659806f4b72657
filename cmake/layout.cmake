# Where the tool's own files lie, declared once: in the build tree (absolute) and in an installed
# tree (relative to its prefix, so that the same tree works under /usr, /opt/tavrel or a staging
# folder). The host, the exporter and the command-line tool are told both; which one applies is
# decided at run time from where the running program lies (engine/support/tool_layout.h).
set(TAVREL_PLUGIN_DIR ${CMAKE_BINARY_DIR}/plugins)
set(TAVREL_FMU_BINARY_DIR ${CMAKE_BINARY_DIR}/fmu)
set(TAVREL_PYTHON_DIR ${CMAKE_BINARY_DIR}/python)

set(TAVREL_INSTALL_BIN_DIR bin)
set(TAVREL_INSTALL_LIB_DIR lib/tavrel)
set(TAVREL_INSTALL_PLUGIN_DIR lib/tavrel/plugins)
set(TAVREL_INSTALL_FMU_DIR lib/tavrel/fmu)
set(TAVREL_INSTALL_PYTHON_DIR lib/python3/dist-packages)
set(TAVREL_INSTALL_DATA_DIR share/tavrel)
# pkg-config files in the architecture's folder, where a cross build looks for them.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(TAVREL_INSTALL_PKGCONFIG_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig)
else()
  set(TAVREL_INSTALL_PKGCONFIG_DIR lib/pkgconfig)
endif()

# The run-time search path of an installed file in `folder` that needs the array/MEX library.
function(tavrel_install_rpath target folder)
  file(RELATIVE_PATH to_lib /prefix/${folder} /prefix/${TAVREL_INSTALL_LIB_DIR})
  string(REGEX REPLACE "/$" "" to_lib "${to_lib}")
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_lib}")
endfunction()
