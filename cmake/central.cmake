# tollimer-central: the central service and collector, a Linux server program
# built from the same core as the assistant (envelope, CRC-32, MD5, text).
find_package(PkgConfig REQUIRED)
find_package(SQLite3 REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

file(GLOB_RECURSE CENTRAL_SOURCES CONFIGURE_DEPENDS src/central/*.cpp)
add_library(tollimer_central STATIC ${CENTRAL_SOURCES})
# OpenSSL's TLS half: the robots' https addresses, through cpp-httplib.
find_package(OpenSSL REQUIRED)
target_link_libraries(tollimer_central PUBLIC tollimer_core SQLite::SQLite3 PkgConfig::HTTPLIB
                      OpenSSL::SSL Threads::Threads)

# The files that include cpp-httplib see <chrono>, whose "µs" GBK cannot
# hold, and so does the clock; they carry no GBK literals of their own. The status page, its tests
# and the seeded chain hold the page's and the store's UTF-8 text.
set_source_files_properties(src/central/service.cpp src/central/http/request_server.cpp src/central/base/clock.cpp
                            tests/central/service_client.cpp
                            tests/bench/central_load.cpp src/central/status/status_page.cpp
                            tests/central/status_page_test.cpp tests/central/chain_seed.cpp
                            src/central/webhook/robot_message.cpp src/central/webhook/webhook_sender.cpp
                            src/central/status/webhook_status.cpp tests/central/webhook_test.cpp
                            tests/central/fake_robot.cpp tests/bench/webhook_delivery.cpp
                            tests/bench/central_floods.cpp
                            PROPERTIES COMPILE_OPTIONS -fexec-charset=UTF-8)

add_executable(tollimer-central tools/central/main.cpp)
target_link_libraries(tollimer-central PRIVATE tollimer_central)

file(GLOB CENTRAL_TEST_SOURCES CONFIGURE_DEPENDS tests/central/*_test.cpp tests/central/*_client.cpp
     tests/central/chain_seed.cpp tests/central/fake_robot.cpp)
add_executable(central_tests ${CENTRAL_TEST_SOURCES})
target_include_directories(central_tests PRIVATE tests)
target_link_libraries(central_tests PRIVATE tollimer_central GTest::gtest_main)
# The kill-in-the-middle test starts the real program.
target_compile_definitions(central_tests PRIVATE
                           TOLLIMER_CENTRAL_EXE="$<TARGET_FILE:tollimer-central>"
                           TOLLIMER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(central_tests tollimer-central)
gtest_discover_tests(central_tests DISCOVERY_TIMEOUT 60)

# Fills a data folder with a seeded chain for the browser test and the demo.
add_executable(central_seed tests/central/central_seed_main.cpp tests/central/chain_seed.cpp)
target_include_directories(central_seed PRIVATE tests)
target_link_libraries(central_seed PRIVATE tollimer_central)

add_executable(central_bench tests/bench/central_load.cpp tests/central/service_client.cpp
               tests/central/attack_client.cpp)
target_include_directories(central_bench PRIVATE tests)
target_link_libraries(central_bench PRIVATE tollimer_central)

add_executable(central_floods_bench tests/bench/central_floods.cpp tests/central/service_client.cpp
               tests/central/chain_seed.cpp)
target_include_directories(central_floods_bench PRIVATE tests)
target_link_libraries(central_floods_bench PRIVATE tollimer_central)

# The replay of the fuzz targets' saved inputs covers the service's readers too.
target_link_libraries(fuzz_replay PRIVATE tollimer_central)

# Delivery to the chain's robots: delay and a burst at the robots' pace.
add_executable(webhook_bench tests/bench/webhook_delivery.cpp tests/central/service_client.cpp
               tests/central/fake_robot.cpp)
target_include_directories(webhook_bench PRIVATE tests)
target_link_libraries(webhook_bench PRIVATE tollimer_central)
