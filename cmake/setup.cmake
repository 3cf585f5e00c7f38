# The setup program of the assistant (NSIS): cmake --build <tree> --target setup
# writes Tollimer-Setup-<version>.exe (a test build: Tollimer-Setup-<version>-测试版.exe)
# beside Tollimer.exe, the version taken
# from the executable's version resource; setup_next writes the next release's
# setup (TollimerNext.exe) into next/, for the upgrade tests. The product is
# the 32-bit tree's; the 64-bit tree's setup packs the 64-bit program.
# A tree configured to sign (cmake/signing.cmake) signs the setup and its
# uninstaller.
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

# The cashier's guide the setup installs: 使用说明.html and its pictures in
# guide/, made from docs/guide/guide.html with the demo's screenshots
# (build/demo, when scripts/run-demo ran on the virtual screen) or else the
# copies of them kept beside the source.
find_program(PYTHON3 python3 REQUIRED)
set(TOLLIMER_DEMO_DIR ${CMAKE_SOURCE_DIR}/build/demo CACHE PATH "screenshots of the demo, for the guide")
set(GUIDE_DIR ${CMAKE_BINARY_DIR}/guide)
add_custom_target(guide
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tools/guide/make_guide.py ${CMAKE_SOURCE_DIR}/docs/guide/guide.html
          ${GUIDE_DIR} ${TOLLIMER_DEMO_DIR} ${CMAKE_SOURCE_DIR}/docs/guide/pictures
  VERBATIM)

function(add_setup_target name program outdir)
  add_custom_target(${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${MAKENSIS} -V2 -DTARGET=${NSIS_TARGET} -DEXE=$<TARGET_FILE:${program}> -DOUTDIR=${outdir}
            -DGUIDE=${GUIDE_DIR} ${SETUP_EDITION} ${SETUP_SIGNING} ${SETUP_SCRIPT}
    DEPENDS ${program} ${SETUP_SCRIPT} ${CMAKE_SOURCE_DIR}/packaging/windows/tollimer-owned.nsh
    VERBATIM)
  add_dependencies(${name} guide)
endfunction()
add_setup_target(setup Tollimer ${CMAKE_BINARY_DIR})
add_setup_target(setup_next TollimerNext ${CMAKE_BINARY_DIR}/next)
