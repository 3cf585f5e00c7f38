file(REMOVE_RECURSE
  "CMakeFiles/unit_tests.dir/tests/unit/text_test.cpp.o"
  "CMakeFiles/unit_tests.dir/tests/unit/text_test.cpp.o.d"
  "unit_tests"
  "unit_tests.pdb"
  "unit_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/unit_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
