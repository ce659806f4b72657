# The installed plug-in kit as a user meets it: install the tree, then configure and build the
# example controller on its own with find_package(tavrel) and with pkg-config.
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN}:\n${out}")
  endif()
endfunction()
run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} --component Unspecified)
run(${CMAKE_COMMAND} -S ${SOURCE}/examples/blocks -B ${WORK}/package -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK}/package)
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${PKGCONFIG_DIR}
    sh -c "c++ $(pkg-config --cflags tavrel-plugin) ${SOURCE}/examples/blocks/pi_choke_controller.cpp -o ${WORK}/pi_choke_controller.mexa64 $(pkg-config --libs tavrel-plugin)")
foreach(plugin ${WORK}/package/pi_choke_controller.mexa64 ${WORK}/pi_choke_controller.mexa64)
  if(NOT EXISTS ${plugin})
    message(FATAL_ERROR "no ${plugin}")
  endif()
endforeach()
