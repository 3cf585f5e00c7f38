cmake_minimum_required(VERSION 3.25)

# Fails when a file of a lower folder of src/ includes a header of a folder
# above it. Each folder may include its own headers and those of the folders
# listed beside it; system headers (<...>) are not looked at.
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_layering.cmake
#
# The central service (src/central/) is checked the same way among its own
# folders, the small helpers at the bottom, the service and its command line
# (the files of src/central/ itself) on top; below it, nothing of src/
# includes the service.
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

# The central service's folders, each with the central folders it may use.
set(central_folders base http config store release exchange status webhook)
set(central_base "")
set(central_http base)
set(central_config base http)
set(central_store base config)
set(central_release base config store)
set(central_exchange base http config store)
set(central_status base config store)
set(central_webhook base config store status)

file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
foreach(source ${sources})
  file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
  if(shown MATCHES "^src/central/[^/]+$")
    continue()  # the service on top may use every folder
  endif()
  set(folder "")
  if(shown MATCHES "^src/central/([^/]+)/")
    set(folder "${CMAKE_MATCH_1}")
  endif()
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"central/")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    if(NOT folder)
      string(APPEND faults "  ${shown} includes ${header} (only the central service may)\n")
      continue()
    endif()
    if(NOT folder IN_LIST central_folders)
      string(APPEND faults "  ${shown}: src/central/${folder}/ has no place in the central layering\n")
      break()
    endif()
    set(target "${header}")  # a header of the service on top
    if(header MATCHES "^central/([^/]+)/")
      set(target "${CMAKE_MATCH_1}")
    endif()
    if(target STREQUAL folder OR target IN_LIST central_${folder})
      continue()
    endif()
    string(REPLACE ";" " " may "${folder};${central_${folder}}")
    string(APPEND faults "  ${shown} includes ${header} (src/central/${folder}/ may use: ${may})\n")
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that point up the layering:\n${faults}")
endif()
message(STATUS "log/, settings/, util/ and the central service's folders include nothing above them")
