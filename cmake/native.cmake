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

# The central service and collector a cafe chain runs (tollimer-central), its
# tests and its load benchmark.
include(cmake/central.cmake)
