# The setup program of the assistant (NSIS): cmake --build <tree> --target setup
# writes Tollimer-Setup-<version>.exe (a test build: Tollimer-Setup-<version>-测试版.exe)
# beside Tollimer.exe, the version taken
# from the executable's version resource; setup_next writes the next release's
# setup (TollimerNext.exe) into next/, for the upgrade tests. The product is
# the 32-bit tree's; the 64-bit tree's setup packs the 64-bit program.
find_program(MAKENSIS makensis)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(NSIS_TARGET amd64-unicode)
else()
  set(NSIS_TARGET x86-unicode)
endif()
set(SETUP_SCRIPT ${CMAKE_SOURCE_DIR}/packaging/windows/tollimer-setup.nsi)
# A test build's setup is named and introduced as the test edition (测试版).
set(SETUP_EDITION "")
if(TOLLIMER_TEST_BUILD)
  set(SETUP_EDITION -DTEST_BUILD)
endif()

function(add_setup_target name program outdir)
  add_custom_target(${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${MAKENSIS} -V2 -DTARGET=${NSIS_TARGET} -DEXE=$<TARGET_FILE:${program}> -DOUTDIR=${outdir}
            ${SETUP_EDITION} ${SETUP_SCRIPT}
    DEPENDS ${program} ${SETUP_SCRIPT}
    VERBATIM)
endfunction()
add_setup_target(setup Tollimer ${CMAKE_BINARY_DIR})
add_setup_target(setup_next TollimerNext ${CMAKE_BINARY_DIR}/next)
