file(REMOVE_RECURSE
  "CMakeFiles/tollimer_core.dir/src/log/activity_log.cpp.o"
  "CMakeFiles/tollimer_core.dir/src/log/activity_log.cpp.o.d"
  "CMakeFiles/tollimer_core.dir/src/util/literals.cpp.o"
  "CMakeFiles/tollimer_core.dir/src/util/literals.cpp.o.d"
  "CMakeFiles/tollimer_core.dir/src/util/text.cpp.o"
  "CMakeFiles/tollimer_core.dir/src/util/text.cpp.o.d"
  "libtollimer_core.a"
  "libtollimer_core.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/tollimer_core.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
