# The installed tavrel plug-in kit: targets tavrel::mx, tavrel::simstruc, tavrel::framework and
# the function tavrel_add_plugin.
include(${CMAKE_CURRENT_LIST_DIR}/tavrelTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/plugin.cmake)
