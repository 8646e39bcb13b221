# The seven payloads as RT_RCDATA resources (object library vtf_payload_resources).
#
# A release embeds the folder named by VTF_PAYLOAD_DIR; without one the build makes a stand-in
# folder in the build tree (generated images and the simulated tool). Either folder passes the
# payload check before anything is embedded.

enable_language(RC)
find_package(Python3 3.8 REQUIRED COMPONENTS Interpreter)

set(tools_dir ${PROJECT_SOURCE_DIR}/tools)
set(layout_script ${tools_dir}/payload_layout.py)
set(check_script ${tools_dir}/check_payload_folder.py)
set(make_script ${tools_dir}/make_standin_payloads.py)

# Resource name and file name of each payload, in the order of the catalogue.
set(payloads
    ESPTOOL esptool.exe
    C2_BOOT c2_bootloader.bin
    C2_PART c2_partitions.bin
    C2_FIRM c2_firmware.bin
    S3_BOOT s3_bootloader.bin
    S3_PART s3_partitions.bin
    S3_FIRM s3_firmware.bin)

if(VTF_PAYLOAD_DIR STREQUAL "")
  set(payload_dir ${CMAKE_CURRENT_BINARY_DIR}/standin)
  set(image_files)
  foreach(file c2_bootloader.bin c2_partitions.bin c2_firmware.bin s3_bootloader.bin
               s3_partitions.bin s3_firmware.bin)
    list(APPEND image_files ${payload_dir}/${file})
  endforeach()
  add_custom_command(
    OUTPUT ${image_files}
    COMMAND Python3::Interpreter ${make_script} ${payload_dir}
    DEPENDS ${make_script} ${layout_script}
    COMMENT "Making the stand-in device images"
    VERBATIM)
  # The simulated tool goes into the folder as esptool.exe; a rebuilt simulator is copied
  # again and so embedded again.
  add_custom_command(
    OUTPUT ${payload_dir}/esptool.exe
    COMMAND ${CMAKE_COMMAND} -E make_directory ${payload_dir}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:esptool_sim> ${payload_dir}/esptool.exe
    DEPENDS esptool_sim
    COMMENT "Copying the simulated tool into the stand-in folder"
    VERBATIM)
else()
  set(payload_dir ${VTF_PAYLOAD_DIR})
  # Fail the configure at once with the folder's faults, rather than at the first build.
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${check_script} ${payload_dir}
    RESULT_VARIABLE check_result
    ERROR_VARIABLE check_output
    OUTPUT_VARIABLE check_output)
  if(NOT check_result EQUAL 0)
    # Indented lines are printed as they are, not rewrapped.
    string(STRIP "${check_output}" check_output)
    string(REPLACE "\n" "\n  " check_output "${check_output}")
    message(FATAL_ERROR "VTF_PAYLOAD_DIR does not hold payloads fit to embed:\n  ${check_output}")
  endif()
endif()

set(payload_files)
set(rc_lines)
while(payloads)
  list(POP_FRONT payloads name file)
  list(APPEND payload_files ${payload_dir}/${file})
  string(APPEND rc_lines "${name} RCDATA \"${payload_dir}/${file}\"\n")
endwhile()

# The check runs again at build time on the bytes about to be embedded; the resource script
# waits for it.
set(check_stamp ${CMAKE_CURRENT_BINARY_DIR}/payloads.checked)
add_custom_command(
  OUTPUT ${check_stamp}
  COMMAND Python3::Interpreter ${check_script} ${payload_dir} ${check_stamp}
  DEPENDS ${payload_files} ${check_script} ${layout_script}
  COMMENT "Checking the payload folder ${payload_dir}"
  VERBATIM)

set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/payloads.rc)
file(CONFIGURE OUTPUT ${rc_file} CONTENT "// Made by CMake from src/payloads/payload_resources.cmake.
// Each payload is stored once, in French (France); the program's lookup names no language.
LANGUAGE 0x0C, 0x01
${rc_lines}" @ONLY)

add_library(vtf_payload_resources OBJECT ${rc_file} ${check_stamp})
# windres reads the payload files itself; CMake would not know to embed them again.
set_source_files_properties(${rc_file} PROPERTIES OBJECT_DEPENDS "${check_stamp};${payload_files}")
# Where the embedded bytes came from, for the tests that compare them.
set_target_properties(vtf_payload_resources PROPERTIES VTF_PAYLOAD_FOLDER ${payload_dir})
