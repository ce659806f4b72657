# `cmake --install`: everything a user runs, laid out as cmake/layout.cmake says, so that the
# installed tool finds its parts from its own location wherever the tree is put. The plug-in
# kit (with the array/MEX library the tool and the plug-ins share) is in cmake/sdk.cmake, the
# Python package in python/CMakeLists.txt.
tavrel_install_rpath(tavrel_cli ${TAVREL_INSTALL_BIN_DIR})
install(TARGETS tavrel_cli RUNTIME DESTINATION ${TAVREL_INSTALL_BIN_DIR})

# The plug-ins the shipped scenarios name: every shipped block and the example controller.
get_property(shipped_blocks GLOBAL PROPERTY TAVREL_SHIPPED_BLOCKS)
foreach(plugin IN LISTS shipped_blocks ITEMS pi_choke_controller)
  tavrel_install_rpath(${plugin} ${TAVREL_INSTALL_PLUGIN_DIR})
endforeach()
install(TARGETS ${shipped_blocks} pi_choke_controller
        LIBRARY DESTINATION ${TAVREL_INSTALL_PLUGIN_DIR})

# The FMU binaries the exporter embeds (self-contained: no search path).
get_property(fmu_binaries GLOBAL PROPERTY TAVREL_FMU_BINARIES)
install(TARGETS ${fmu_binaries} LIBRARY DESTINATION ${TAVREL_INSTALL_FMU_DIR})

# The shipped inputs and examples, as they lie in the source tree (studies name their scenarios
# and data by relative paths).
install(DIRECTORY scenarios studies examples DESTINATION ${TAVREL_INSTALL_DATA_DIR})
