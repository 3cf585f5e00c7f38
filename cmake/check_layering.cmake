cmake_minimum_required(VERSION 3.25)

# Fails when a file of a lower folder of src/ includes a header of a folder
# above it. Each folder may include its own headers and those of the folders
# listed beside it; system headers (<...>) are not looked at.
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_layering.cmake
set(allowed_log platform util)
set(allowed_settings platform util)
set(allowed_util "")

set(faults "")
foreach(folder log settings util)
  file(GLOB sources "${SOURCE_DIR}/src/${folder}/*.h" "${SOURCE_DIR}/src/${folder}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "/")
        continue()  # beside the file itself
      endif()
      string(REGEX REPLACE "/.*" "" target "${header}")
      if(target STREQUAL folder OR target IN_LIST allowed_${folder})
        continue()
      endif()
      file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
      string(REPLACE ";" " " may "${folder};${allowed_${folder}}")
      string(APPEND faults "  ${shown} includes ${header} (src/${folder}/ may use: ${may})\n")
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that point up the layering:\n${faults}")
endif()
message(STATUS "log/, settings/ and util/ include nothing above them")
