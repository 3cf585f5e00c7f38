# Configuration of ours that is compiled into the program. The ordinary build
# is the test build: it takes the values of cmake/test-chain.conf (services on
# loopback, key rows and a release key that everyone knows) and says so loudly.
# A chain's build takes every value from the chain's own file and refuses the
# test values: scripts/build-chain CHAIN.conf (which passes
# -DTOLLIMER_CHAIN_FILE=CHAIN.conf). A single value can still be set by hand,
# e.g. -DTOLLIMER_SERVICE_BASE=http://example.com/orv/.
include(${CMAKE_CURRENT_LIST_DIR}/chain-values.cmake)
tollimer_read_chain_file(${CMAKE_CURRENT_LIST_DIR}/test-chain.conf TEST)
if(TEST_ERRORS)
  message(FATAL_ERROR "cmake/test-chain.conf: ${TEST_ERRORS}")
endif()

set(TOLLIMER_SERVICE_BASE "${TEST_service_base}" CACHE STRING
    "Central service base address (ends with /)")
set(TOLLIMER_COLLECTOR_ADDRESS "${TEST_collector_address}" CACHE STRING
    "IPv4 address of the collector that receives blacklist notices on UDP 8888")
# Literal key table: four 8-byte rows (64 hex digits); row 1 (the first 16
# digits) deciphers every literal of the program.
set(TOLLIMER_LITERAL_KEYS "${TEST_literal_keys}" CACHE STRING "Literal key table, 64 hex digits")
# Envelope key rows 0..3: an 8-byte DES key followed by an 8-byte initial
# vector (32 hex digits each). Shared secrets with the central service.
foreach(row 0 1 2 3)
  set(TOLLIMER_DES_ROW${row} "${TEST_key_row${row}}" CACHE STRING "Envelope row ${row}: key + IV")
endforeach()
# Public half of the operator's release key (ECDSA P-256, X and Y: 128 hex
# digits, as `tollimer-central keygen` prints it). An assistant built with a
# key swaps in only releases signed with it; empty builds one without (it
# trusts the release identities' CRC alone).
set(TOLLIMER_RELEASE_KEY "${TEST_release_key}" CACHE STRING
    "Release signing key (public), 128 hex digits; empty: no signature check")

# Pin of the service's TLS certificate (`tollimer-central pin CERT.pem`: the
# SHA-256 of its public key, 64 hex digits). An assistant with an https
# service base and a pin talks only to a service holding that key; without a
# pin it trusts Windows' certificate store, the host name checked.
set(TOLLIMER_SERVICE_PIN "${TEST_service_pin}" CACHE STRING
    "Pin of the service's TLS certificate, 64 hex digits; empty: Windows' trust store")
# The hit's notice datagram (UDP to the collector) carries the hit's entry in
# clear. "off" leaves it out; only with an https service, whose report of the
# hit carries the same facts inside TLS. Empty or "on": sent.
set(TOLLIMER_HIT_NOTICE "${TEST_hit_notice}" CACHE STRING "Send the hit's notice datagram: on (empty) or off")

# Switches every check of the service's certificate off. For a bench against
# a service with a certificate of nobody in particular; never for a cafe.
option(TOLLIMER_INSECURE_TLS "Accept any certificate from an https service (never for a cafe)" OFF)

set(TOLLIMER_CHAIN_FILE "" CACHE FILEPATH "A chain's values (scripts/build-chain); empty: the test build")
if(TOLLIMER_CHAIN_FILE)
  tollimer_read_chain_file(${TOLLIMER_CHAIN_FILE} CHAIN)
  set(chain_errors "${CHAIN_ERRORS}")
  tollimer_check_chain_values(CHAIN TEST chain_errors)
  if(chain_errors)
    string(JOIN "\n  " chain_errors ${chain_errors})
    message(FATAL_ERROR "${TOLLIMER_CHAIN_FILE} refused:\n  ${chain_errors}")
  endif()
  # Every value from the file; one it may leave out (the literal table) is
  # the program's own, whatever an earlier configure of the folder left.
  foreach(row IN LISTS TOLLIMER_CHAIN_VALUES)
    tollimer_chain_row("${row}" v)
    if(NOT "${CHAIN_${v_name}}" STREQUAL "")
      set(${v_var} "${CHAIN_${v_name}}" CACHE STRING "" FORCE)
    else()
      set(${v_var} "${TEST_${v_name}}" CACHE STRING "" FORCE)
    endif()
  endforeach()
endif()

# Every value in its form (the release key may be empty); a build whose key
# rows or release key are the test build's (or that has no release key) is a
# test build.
set(TOLLIMER_TEST_BUILD OFF)
foreach(row IN LISTS TOLLIMER_CHAIN_VALUES)
  tollimer_chain_row("${row}" v)
  if(v_name STREQUAL "release_key" AND "${${v_var}}" STREQUAL "")
    set(TOLLIMER_TEST_BUILD ON)
    continue()
  endif()
  if(v_need STREQUAL "optional" AND "${${v_var}}" STREQUAL "")
    continue()
  endif()
  tollimer_value_has_form(${v_form} "${${v_var}}" ok)
  if(NOT ok)
    message(FATAL_ERROR "${v_var} must be ${TOLLIMER_FORM_${v_form}}")
  endif()
  if(v_name MATCHES "^(key_row|release_key)")
    tollimer_is_test_value(TEST ${v_name} "${${v_var}}" is_test)
    if(is_test)
      set(TOLLIMER_TEST_BUILD ON)
    endif()
  endif()
endforeach()
if(TOLLIMER_SERVICE_PIN AND NOT TOLLIMER_SERVICE_BASE MATCHES "^https://")
  message(FATAL_ERROR "TOLLIMER_SERVICE_PIN needs an https:// TOLLIMER_SERVICE_BASE")
endif()
if(TOLLIMER_HIT_NOTICE STREQUAL "off" AND NOT TOLLIMER_SERVICE_BASE MATCHES "^https://")
  message(FATAL_ERROR "TOLLIMER_HIT_NOTICE=off needs an https:// TOLLIMER_SERVICE_BASE")
endif()
if(TOLLIMER_INSECURE_TLS)
  if(TOLLIMER_CHAIN_FILE)
    message(FATAL_ERROR "a chain build never switches the service's certificate check off (TOLLIMER_INSECURE_TLS)")
  endif()
  set(TOLLIMER_TEST_BUILD ON)
  message(WARNING
    "\n*** INSECURE TLS BUILD (TOLLIMER_INSECURE_TLS=ON): these assistants accept any certificate "
    "from an https service, so anybody on the path can read the ID numbers they send and hand them "
    "a blacklist of their own. Never give them to a cafe. ***\n")
endif()
if(TOLLIMER_TEST_BUILD)
  if(TOLLIMER_CHAIN_FILE)
    message(FATAL_ERROR "a chain build holds a test value or no release key")
  endif()
  message(WARNING
    "\n*** TEST BUILD: these programs carry the test build's key rows and release key "
    "(cmake/test-chain.conf), which everyone knows: anybody can read and forge their exchange "
    "and sign releases they install. Never give them to a cafe. A chain builds its own with "
    "scripts/build-chain CHAIN.conf. ***\n")
endif()

# The test key's fingerprint (SHA-256 of its 128 upper-case hex digits): the
# assistant names the key it was built with by its fingerprint, and tells
# the test key apart without carrying it.
string(TOUPPER "${TEST_release_key}" test_key_upper)
string(SHA256 TOLLIMER_TEST_RELEASE_KEY_SHA256 "${test_key_upper}")
string(TOUPPER "${TOLLIMER_TEST_RELEASE_KEY_SHA256}" TOLLIMER_TEST_RELEASE_KEY_SHA256)

set(hit_notice 1)
if(TOLLIMER_HIT_NOTICE STREQUAL "off")
  set(hit_notice 0)
endif()
set(insecure_tls 0)
if(TOLLIMER_INSECURE_TLS)
  set(insecure_tls 1)
endif()
set(TOLLIMER_CONFIG_DEFINITIONS
  "TOLLIMER_LITERAL_KEYS=\"${TOLLIMER_LITERAL_KEYS}\""
  "TOLLIMER_DES_ROW0=\"${TOLLIMER_DES_ROW0}\""
  "TOLLIMER_DES_ROW1=\"${TOLLIMER_DES_ROW1}\""
  "TOLLIMER_DES_ROW2=\"${TOLLIMER_DES_ROW2}\""
  "TOLLIMER_DES_ROW3=\"${TOLLIMER_DES_ROW3}\""
  "TOLLIMER_RELEASE_KEY=\"${TOLLIMER_RELEASE_KEY}\"")
# Each of these is compiled into the one file that needs it: the assistant's
# note on its release key, and the service's check of its key rows (which
# alone knows the test rows; a chain's assistants never carry them).
# The service's addresses, its pin and the switches go the same way: into the
# files that use them, so a build for another service (the end-to-end tests'
# pinned one) recompiles those alone.
set(service_base_definition "TOLLIMER_SERVICE_BASE=\"${TOLLIMER_SERVICE_BASE}\"")
set_property(SOURCE src/app/process_env_win.cpp src/app/main_form_win.cpp src/central/config/central_config.cpp
             APPEND PROPERTY COMPILE_DEFINITIONS "${service_base_definition}")
set_property(SOURCE src/crypto/service_pin.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             "TOLLIMER_SERVICE_PIN=\"${TOLLIMER_SERVICE_PIN}\"" "TOLLIMER_INSECURE_TLS=${insecure_tls}")
set_property(SOURCE src/net/notice.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             "TOLLIMER_COLLECTOR_ADDRESS=\"${TOLLIMER_COLLECTOR_ADDRESS}\"" "TOLLIMER_HIT_NOTICE=${hit_notice}")
set_source_files_properties(src/crypto/release_key_note.cpp PROPERTIES COMPILE_DEFINITIONS
  "TOLLIMER_TEST_RELEASE_KEY_SHA256=\"${TOLLIMER_TEST_RELEASE_KEY_SHA256}\"")
set_property(SOURCE src/central/config/central_config.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "TOLLIMER_TEST_DES_ROW0=\"${TEST_key_row0}\";TOLLIMER_TEST_DES_ROW1=\"${TEST_key_row1}\";TOLLIMER_TEST_DES_ROW2=\"${TEST_key_row2}\";TOLLIMER_TEST_DES_ROW3=\"${TEST_key_row3}\"")
