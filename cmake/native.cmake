# Native tree: unit tests of the portable core, and benchmarks.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED)  # independent cipher and digest for cross-checks

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*_test.cpp tests/fakes/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_include_directories(unit_tests PRIVATE tests)
target_link_libraries(unit_tests PRIVATE tollimer_core GTest::gtest_main GTest::gmock
                      Threads::Threads OpenSSL::Crypto)
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# The operator's documents in Chinese name the same commands and options as
# the English ones.
find_program(PYTHON3 python3 REQUIRED)
add_test(NAME docs_in_step COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/docs/docs_in_step.py ${CMAKE_SOURCE_DIR})

# Benchmarks print figures; they are never part of the test run.
find_package(benchmark QUIET)
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS tests/bench/*_bench.cpp)
if(benchmark_FOUND)
  foreach(src ${BENCH_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_include_directories(${name} PRIVATE tests)
    target_link_libraries(${name} PRIVATE tollimer_core benchmark::benchmark
                          Threads::Threads OpenSSL::Crypto)
  endforeach()
endif()

# Replay of the fuzz targets' saved inputs (tests/fuzz/corpus/<target>/), so a
# fixed crash stays fixed; the same entry functions the fuzzers drive.
file(GLOB FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS tests/fuzz/targets/*.cpp)
add_executable(fuzz_replay tests/fuzz/replay_test.cpp tests/fuzz/loopback_peer.cpp
               tests/fuzz/fuzz_fail.cpp ${FUZZ_TARGET_SOURCES})
target_include_directories(fuzz_replay PRIVATE tests tests/fuzz)
target_compile_definitions(fuzz_replay PRIVATE
                           TOLLIMER_FUZZ_CORPUS="${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/corpus")
target_link_libraries(fuzz_replay PRIVATE tollimer_core GTest::gtest_main Threads::Threads)
gtest_discover_tests(fuzz_replay DISCOVERY_TIMEOUT 60)
# Picture fixtures of the unit tests.
target_compile_definitions(unit_tests PRIVATE TOLLIMER_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
# The central service and collector a cafe chain runs (tollimer-central), its
# tests and its load benchmark.
# The lower folders of src/ include nothing above them.
add_test(NAME Layering.LowerFoldersIncludeNothingAbove
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/check_layering.cmake)

include(cmake/central.cmake)
include(cmake/deb.cmake)

# The chain build's refusals (scripts/build-chain), before anything is built.
add_test(NAME build_chain_refusals
         COMMAND /usr/bin/python3 -m pytest -q -p no:cacheprovider ${CMAKE_SOURCE_DIR}/tests/scripts/test_build_chain.py)
# Code signing with a self-made certificate; reported as skipped (with the
# missing tool named) where osslsigncode or another tool is missing.
add_test(NAME code_signing
         COMMAND /usr/bin/python3 -m pytest -q -rs -p no:cacheprovider ${CMAKE_SOURCE_DIR}/tests/scripts/test_signing.py)
set_tests_properties(code_signing PROPERTIES SKIP_REGULAR_EXPRESSION "CODE SIGNING NOT TESTED")
