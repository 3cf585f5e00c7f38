
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/src/log/activity_log.cpp" "CMakeFiles/tollimer_core.dir/src/log/activity_log.cpp.o" "gcc" "CMakeFiles/tollimer_core.dir/src/log/activity_log.cpp.o.d"
  "/work/main/src/util/literals.cpp" "CMakeFiles/tollimer_core.dir/src/util/literals.cpp.o" "gcc" "CMakeFiles/tollimer_core.dir/src/util/literals.cpp.o.d"
  "/work/main/src/util/text.cpp" "CMakeFiles/tollimer_core.dir/src/util/text.cpp.o" "gcc" "CMakeFiles/tollimer_core.dir/src/util/text.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
