# Windows tree: the product, the companion simulator and the Windows-side tests.
set(WIN_LINK_OPTIONS -static -static-libgcc -static-libstdc++)

add_executable(Tollimer WIN32 src/app/main_win.cpp src/resources/tollimer.rc)
target_link_libraries(Tollimer PRIVATE tollimer_core)
target_include_directories(Tollimer PRIVATE src/resources)
# Shipped without a symbol table or debug sections: the symbols would name
# every enciphered literal by its role, and the key table beside them.
target_link_options(Tollimer PRIVATE ${WIN_LINK_OPTIONS} -s)

# The same program as a later release (version 1.0.0.2): the self-update
# tests serve it as the new executable.
add_executable(TollimerNext WIN32 src/app/main_win.cpp src/resources/tollimer.rc)
target_link_libraries(TollimerNext PRIVATE tollimer_core)
target_include_directories(TollimerNext PRIVATE src/resources)
target_compile_definitions(TollimerNext PRIVATE TOLLIMER_NEXT_RELEASE)
target_link_options(TollimerNext PRIVATE ${WIN_LINK_OPTIONS})

# A later release that ends at once at its start: the rollback test serves it.
add_executable(TollimerExits WIN32 tests/e2e/fakes/exits_at_once.cpp src/resources/tollimer.rc)
target_include_directories(TollimerExits PRIVATE src/resources)
target_compile_definitions(TollimerExits PRIVATE TOLLIMER_NEXT_RELEASE)
target_link_options(TollimerExits PRIVATE ${WIN_LINK_OPTIONS})

# Companion simulator: stands in for the billing console and the audit client.
file(GLOB SIM_SOURCES CONFIGURE_DEPENDS tests/simulator/*.cpp)
if(SIM_SOURCES)
  add_executable(tollsim WIN32 ${SIM_SOURCES})
  # oleacc and COM: the CTID window's page object, handed across processes.
  target_link_libraries(tollsim PRIVATE user32 gdi32 ws2_32 comctl32 oleacc ole32 oleaut32 uuid)
  target_link_options(tollsim PRIVATE ${WIN_LINK_OPTIONS})
endif()

# Windows-side unit tests of the thin Win32 pieces, run under Wine.
file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS tests/win/*_test.cpp)
if(WIN_TEST_SOURCES)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources are not ours: they keep UTF-8 literals (its
  # <chrono> use has characters GBK lacks).
  target_compile_options(gtest PRIVATE -fexec-charset=UTF-8)
  target_compile_options(gtest_main PRIVATE -fexec-charset=UTF-8)
  # The program's resource goes in too: the icon tests load it from the
  # running executable, as the program does.
  add_executable(win_tests ${WIN_TEST_SOURCES} src/resources/tollimer.rc)
  target_include_directories(win_tests PRIVATE tests src/resources)
  target_link_libraries(win_tests PRIVATE tollimer_core gtest_main)
  target_link_options(win_tests PRIVATE ${WIN_LINK_OPTIONS})
  # Picture fixtures; Wine reaches the Linux path through drive Z:.
  target_compile_definitions(win_tests PRIVATE TOLLIMER_TEST_DATA="Z:${CMAKE_SOURCE_DIR}/tests/data")
endif()

# Windows-side benchmarks: each tests/bench/win/*.cpp is a program printing figures.
file(GLOB WIN_BENCH_SOURCES CONFIGURE_DEPENDS tests/bench/win/*.cpp)
foreach(src ${WIN_BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name}_bench ${src})
  target_include_directories(${name}_bench PRIVATE tests)
  target_link_libraries(${name}_bench PRIVATE tollimer_core)
  target_link_options(${name}_bench PRIVATE ${WIN_LINK_OPTIONS})
endforeach()

include(cmake/signing.cmake)
include(cmake/setup.cmake)
