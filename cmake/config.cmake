# Configuration of ours that is compiled into the program. The test build points
# the outside services at loopback; a release build passes the real values, e.g.
#   cmake -DTOLLIMER_SERVICE_BASE=http://example.com/orv/ -DTOLLIMER_COLLECTOR_ADDRESS=10.0.0.5 ...
set(TOLLIMER_SERVICE_BASE "http://127.0.0.1:18080/tollimer/" CACHE STRING
    "Central service base address (ends with /)")
set(TOLLIMER_COLLECTOR_ADDRESS "127.0.0.1" CACHE STRING
    "IPv4 address of the collector that receives blacklist notices on UDP 8888")
# Literal key table: four 8-byte rows (64 hex digits); row 1 (the first 16
# digits) deciphers every literal of the program.
set(TOLLIMER_LITERAL_KEYS "5A3C96E1B4072F8DC3197A2E58F0B64D8E52D70B3FA1649C17F4B8256AD93E0C"
    CACHE STRING "Literal key table, 64 hex digits")
# Envelope key rows 0..3: an 8-byte DES key followed by an 8-byte initial
# vector (32 hex digits each). Shared secrets with the central service.
set(TOLLIMER_DES_ROW0 "0123456789ABCDEFFEDCBA9876543210" CACHE STRING "Envelope row 0: key + IV")
set(TOLLIMER_DES_ROW1 "3A7C11D95E02B4F86C21E0A94D7F3B15" CACHE STRING "Envelope row 1: key + IV")
set(TOLLIMER_DES_ROW2 "B1E4072C9D58A36F402F6B1DE89C75A3" CACHE STRING "Envelope row 2: key + IV")
set(TOLLIMER_DES_ROW3 "9F2B6D40C1E8537A1E5C9B3F7026D48E" CACHE STRING "Envelope row 3: key + IV")

# Public half of the operator's release key (ECDSA P-256, X and Y: 128 hex
# digits, as `tollimer-central keygen` prints it). An assistant built with a
# key swaps in only releases signed with it; empty builds one without (it
# trusts the release identities' CRC alone). The default is the test key pair
# of tests/data/release/.
set(TOLLIMER_RELEASE_KEY "F81A3EFA2BB7B9E763003D4BE56EB35544E68E7DCBC923A8354C2C2813550867F213E85A7CFAFD80DD2FE335410DFDEA6921EF32EB241813743183B641D8883B"
    CACHE STRING "Release signing key (public), 128 hex digits; empty: no signature check")

function(tollimer_check_hex name digits)
  string(LENGTH "${${name}}" len)
  if(NOT "${${name}}" MATCHES "^[0-9A-Fa-f]+$" OR NOT len EQUAL ${digits})
    message(FATAL_ERROR "${name} must be ${digits} hex digits")
  endif()
endfunction()
tollimer_check_hex(TOLLIMER_LITERAL_KEYS 64)
foreach(row 0 1 2 3)
  tollimer_check_hex(TOLLIMER_DES_ROW${row} 32)
endforeach()
if(NOT TOLLIMER_RELEASE_KEY STREQUAL "")
  tollimer_check_hex(TOLLIMER_RELEASE_KEY 128)
endif()

set(TOLLIMER_CONFIG_DEFINITIONS
  "TOLLIMER_SERVICE_BASE=\"${TOLLIMER_SERVICE_BASE}\""
  "TOLLIMER_COLLECTOR_ADDRESS=\"${TOLLIMER_COLLECTOR_ADDRESS}\""
  "TOLLIMER_LITERAL_KEYS=\"${TOLLIMER_LITERAL_KEYS}\""
  "TOLLIMER_DES_ROW0=\"${TOLLIMER_DES_ROW0}\""
  "TOLLIMER_DES_ROW1=\"${TOLLIMER_DES_ROW1}\""
  "TOLLIMER_DES_ROW2=\"${TOLLIMER_DES_ROW2}\""
  "TOLLIMER_DES_ROW3=\"${TOLLIMER_DES_ROW3}\""
  "TOLLIMER_RELEASE_KEY=\"${TOLLIMER_RELEASE_KEY}\"")
