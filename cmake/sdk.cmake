# What a user needs to build a plug-in outside this tree: the platform headers, the MEX entry,
# the array/MEX library, and either the CMake package `tavrel` (find_package(tavrel), then
# tavrel_add_plugin) or the pkg-config file `tavrel-plugin`.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(sdk_include ${CMAKE_INSTALL_INCLUDEDIR}/tavrel)
set(sdk_cmake lib/cmake/tavrel)

install(FILES
  sdk/record/simstruc/include/simstruc.h
  sdk/record/mx/include/matrix.h sdk/record/mx/include/mex.h sdk/record/mx/include/mex_host.h
  sdk/framework/mex_entry.h sdk/framework/block_methods.h sdk/framework/block_io.h
  DESTINATION ${sdk_include})
install(TARGETS tavrel_mx tavrel_simstruc tavrel_framework EXPORT tavrelTargets
  LIBRARY DESTINATION ${TAVREL_INSTALL_LIB_DIR}
  ARCHIVE DESTINATION ${TAVREL_INSTALL_LIB_DIR}
  INCLUDES DESTINATION ${sdk_include})
install(EXPORT tavrelTargets NAMESPACE tavrel:: DESTINATION ${sdk_cmake})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tavrelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES cmake/tavrelConfig.cmake cmake/plugin.cmake cmake/plugin.map
  ${CMAKE_CURRENT_BINARY_DIR}/tavrelConfigVersion.cmake
  DESTINATION ${sdk_cmake})

# Relocatable: the prefix is found from where the file lies.
file(RELATIVE_PATH pc_to_prefix /root/${TAVREL_INSTALL_PKGCONFIG_DIR} /root)
configure_file(cmake/tavrel-plugin.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavrel-plugin.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrel-plugin.pc
  DESTINATION ${TAVREL_INSTALL_PKGCONFIG_DIR})
