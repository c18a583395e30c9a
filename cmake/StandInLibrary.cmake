# A small library that stands in for the compression library in tests and
# benchmarks: built from one C file under the real library's file name, in a
# folder of its own (<binary dir>/<name>/).
function(add_stand_in_library target name source)
  add_library(${target} SHARED ${source})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME norvik
    C_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name})
endfunction()
