# The same commit gives the same program file in any folder: no build path in the binary, no
# clock in the PE header, and the resource compiler's preprocessor named rather than found.
if(NOT WIN32)
  return()
endif()

# Paths that __FILE__ would carry are written relative to the source and build folders.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>"
  # A __DATE__ or __TIME__ would differ between two builds: warned, and so refused.
  "$<$<COMPILE_LANGUAGE:C,CXX>:-Wdate-time>")

# windres would run whichever "gcc" the machine's alternatives point to (compile options do
# not reach the resource compiler: its flags do).
enable_language(RC)
string(APPEND CMAKE_RC_FLAGS " --preprocessor=${CMAKE_C_COMPILER} --preprocessor-arg=-E"
       " --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED")

# The linker stamps the PE header with SOURCE_DATE_EPOCH when it is set, else with the clock.
# The stamp is the commit's time unless the caller gives one; outside a git work tree, none.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VTF_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(
    COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE VTF_SOURCE_DATE_EPOCH
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()
if(VTF_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  foreach(lang C CXX)
    set(CMAKE_${lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env
                                      SOURCE_DATE_EPOCH=${VTF_SOURCE_DATE_EPOCH})
  endforeach()
else()
  add_link_options(-Wl,--no-insert-timestamp)
endif()
