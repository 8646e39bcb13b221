# The program's version has one home: the project's VERSION. The caption, the version record,
# the manifest's identity and the release folder's name all take it from the names set here.
foreach(part MAJOR MINOR PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    set(PROJECT_VERSION_${part} 0)
  endif()
endforeach()
# "1.3": what the caption shows after its "v".
set(VTF_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
# "1.3.0.0": the version record's and the manifest's four parts.
set(VTF_VERSION_RECORD
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${PROJECT_VERSION_TWEAK}")
set(VTF_RELEASE_NAME "VantorTrackerFlasher-${VTF_VERSION_TEXT}")
# scripts/release.sh names its folder after what the build tree says.
file(WRITE ${CMAKE_BINARY_DIR}/release-name.txt "${VTF_RELEASE_NAME}\n")
