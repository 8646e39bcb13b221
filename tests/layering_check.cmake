# Fails when a lower layer includes from the one above: flashing/, runner/, payloads/ and core/
# never reach into app/, and core/ reaches into nothing of ours but itself.
# cmake -DSRC=<source>/src -P layering_check.cmake
set(faults "")
foreach(layer core flashing runner payloads)
  file(GLOB_RECURSE files "${SRC}/${layer}/*.h" "${SRC}/${layer}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" includes REGEX "^#include \"(app|flashing|runner|payloads)/")
    foreach(line ${includes})
      if(line MATCHES "\"app/" OR (layer STREQUAL "core"))
        string(APPEND faults "\n  ${file}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "A lower layer includes from a layer above:${faults}")
endif()
