# The dependency rule, checked on the targets' links at configure time: no library of a layer
# links one of a higher layer. (tests/layers checks the same on the sources' includes.)
set(_tavrel_layers
  "sdk:tavrel_mx;tavrel_simstruc;tavrel_framework"
  "models:tavrel_annulus;tavrel_rig_model;tavrel_piston_model;tavrel_linear_model;tavrel_observer_model;tavrel_compensator_model"
  "engine:tavrel_engine_headers;tavrel_host;tavrel_solver;tavrel_sim;tavrel_study;tavrel_linear_analysis"
  "fmi:tavrel_fmu_runtime;tavrel_fmi_export"
  "apps:tavrel_cli")

function(_tavrel_check_layers)
  set(higher "")
  list(REVERSE _tavrel_layers)
  foreach(entry IN LISTS _tavrel_layers)
    string(REPLACE ":" ";" parts "${entry}")
    list(POP_FRONT parts layer)
    string(REPLACE ";" "|" names "${parts}")
    foreach(target IN LISTS parts)
      if(NOT TARGET ${target})
        continue()
      endif()
      get_target_property(links ${target} LINK_LIBRARIES)
      get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
      foreach(link IN LISTS links interface)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
        if(link IN_LIST higher)
          message(FATAL_ERROR "${target} (${layer}) links ${link}, a target of a higher layer")
        endif()
      endforeach()
    endforeach()
    list(APPEND higher ${parts})
  endforeach()
endfunction()
_tavrel_check_layers()
