# Code signing of a chain's programs (Authenticode through osslsigncode):
# configured with TOLLIMER_SIGN_CERT and TOLLIMER_SIGN_KEY (the chain's
# code-signing certificate and its private key, PEM files), the tree signs
# Tollimer.exe as it is linked, and the setup and its uninstaller as makensis
# writes them. Without them nothing is signed.
set(TOLLIMER_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM); empty: nothing is signed")
set(TOLLIMER_SIGN_KEY "" CACHE FILEPATH "Private key of TOLLIMER_SIGN_CERT (PEM, without a passphrase)")
set(SIGN_EXE ${CMAKE_SOURCE_DIR}/packaging/windows/sign-exe)
set(SETUP_SIGNING "")
if(TOLLIMER_SIGN_CERT OR TOLLIMER_SIGN_KEY)
  foreach(file TOLLIMER_SIGN_CERT TOLLIMER_SIGN_KEY)
    if(NOT EXISTS "${${file}}")
      message(FATAL_ERROR "${file} = \"${${file}}\": no such file (both are needed to sign)")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "signing needs osslsigncode (scripts/install-deps installs it)")
  endif()
  add_custom_command(TARGET Tollimer POST_BUILD
    COMMAND ${SIGN_EXE} ${TOLLIMER_SIGN_CERT} ${TOLLIMER_SIGN_KEY} $<TARGET_FILE:Tollimer>
    VERBATIM)
  set(SETUP_SIGNING -DSIGN_CERT=${TOLLIMER_SIGN_CERT} -DSIGN_KEY=${TOLLIMER_SIGN_KEY})
endif()
