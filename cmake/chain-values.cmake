# A chain's values: what an assistant is built with to serve one cafe chain.
# They come from one file of "name = value" lines (`#` starts a comment line):
# cmake/test-chain.conf holds the test build's, a chain's own file is given to
# scripts/build-chain. Both the ordinary configure (cmake/config.cmake) and the
# chain file's check (cmake/check-chain.cmake) read and judge them here.

# One row per value: its name in the file, the CMake variable it sets, its form
# and whether a chain must give a value of its own ("chain"), may keep the
# program's own ("own") or may leave it out ("optional": the value's absence
# is a setting of its own, e.g. no pin).
set(TOLLIMER_CHAIN_VALUES
  "service_base|TOLLIMER_SERVICE_BASE|address|chain"
  "collector_address|TOLLIMER_COLLECTOR_ADDRESS|ipv4|chain"
  "key_row0|TOLLIMER_DES_ROW0|row|chain"
  "key_row1|TOLLIMER_DES_ROW1|row|chain"
  "key_row2|TOLLIMER_DES_ROW2|row|chain"
  "key_row3|TOLLIMER_DES_ROW3|row|chain"
  "release_key|TOLLIMER_RELEASE_KEY|key|chain"
  "service_pin|TOLLIMER_SERVICE_PIN|pin|optional"
  "hit_notice|TOLLIMER_HIT_NOTICE|onoff|optional"
  "literal_keys|TOLLIMER_LITERAL_KEYS|table|own")

set(TOLLIMER_FORM_address "the service's base address, http://host[:port]/path/ ending with /")
set(TOLLIMER_FORM_ipv4 "an IPv4 address such as 10.0.0.5")
set(TOLLIMER_FORM_row "32 hex digits: an 8-byte DES key and an 8-byte IV (e.g. `openssl rand -hex 16`)")
set(TOLLIMER_FORM_key "128 hex digits, the public key as `tollimer-central keygen` printed it")
set(TOLLIMER_FORM_table "64 hex digits")
set(TOLLIMER_FORM_onoff "on or off")
set(TOLLIMER_FORM_pin "64 hex digits, the pin `tollimer-central pin CERT.pem` prints (or no line: no pin)")

# Splits a row of TOLLIMER_CHAIN_VALUES into <out>_name, _var, _form, _need.
macro(tollimer_chain_row row out)
  string(REPLACE "|" ";" _fields "${row}")
  list(GET _fields 0 ${out}_name)
  list(GET _fields 1 ${out}_var)
  list(GET _fields 2 ${out}_form)
  list(GET _fields 3 ${out}_need)
endmacro()

# Sets <out> to TRUE when `value` has the form `form`.
function(tollimer_value_has_form form value out)
  set(ok FALSE)
  if(form STREQUAL "address")
    if(value MATCHES "^https?://[^/ ]+/([^ ]*/)?$")
      set(ok TRUE)
    endif()
  elseif(form STREQUAL "onoff")
    if(value MATCHES "^(on|off)$")
      set(ok TRUE)
    endif()
  elseif(form STREQUAL "ipv4")
    if(value MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
      set(ok TRUE)
      foreach(i 1 2 3 4)
        if(CMAKE_MATCH_${i} GREATER 255)
          set(ok FALSE)
        endif()
      endforeach()
    endif()
  else()
    set(digits_row 32)
    set(digits_key 128)
    set(digits_table 64)
    set(digits_pin 64)
    string(LENGTH "${value}" length)
    if(value MATCHES "^[0-9A-Fa-f]+$" AND length EQUAL ${digits_${form}})
      set(ok TRUE)
    endif()
  endif()
  set(${out} ${ok} PARENT_SCOPE)
endfunction()

# Reads the "name = value" lines of `file` into <prefix>_<name>; every line it
# cannot take is appended to <prefix>_ERRORS.
function(tollimer_read_chain_file file prefix)
  set(errors "")
  if(NOT EXISTS "${file}")
    list(APPEND errors "no such file")
    set(${prefix}_ERRORS "${errors}" PARENT_SCOPE)
    return()
  endif()
  set(known "")
  foreach(row IN LISTS TOLLIMER_CHAIN_VALUES)
    tollimer_chain_row("${row}" v)
    list(APPEND known ${v_name})
  endforeach()
  file(STRINGS "${file}" lines)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(NOT line MATCHES "^([A-Za-z_0-9]+)[ \t]*=(.*)$")
      list(APPEND errors "not a \"name = value\" line: ${line}")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" value)
    if(NOT name IN_LIST known)
      string(JOIN ", " names ${known})
      list(APPEND errors "${name}: no such value (known: ${names})")
    elseif(DEFINED seen_${name})
      list(APPEND errors "${name}: given twice")
    else()
      set(seen_${name} TRUE)
      set(${prefix}_${name} "${value}" PARENT_SCOPE)
    endif()
  endforeach()
  set(${prefix}_ERRORS "${errors}" PARENT_SCOPE)
endfunction()

# Sets <out> to TRUE when `value` of the value `name` is one of the test
# build's (<test>_<name>; a key row: any of the test rows). Letters of either
# case are the same value.
function(tollimer_is_test_value test name value out)
  set(candidates "${${test}_${name}}")
  if(name MATCHES "^key_row")
    set(candidates "${${test}_key_row0};${${test}_key_row1};${${test}_key_row2};${${test}_key_row3}")
  endif()
  string(TOUPPER "${value}" upper)
  set(hit FALSE)
  foreach(candidate IN LISTS candidates)
    string(TOUPPER "${candidate}" candidate)
    if(upper STREQUAL candidate)
      set(hit TRUE)
    endif()
  endforeach()
  set(${out} ${hit} PARENT_SCOPE)
endfunction()

# The chain's values <chain>_<name> against the test build's <test>_<name>:
# every value left out, of the wrong form, or one of the test build's is
# appended to <out> as one line that names it.
function(tollimer_check_chain_values chain test out)
  set(errors "${${out}}")
  foreach(row IN LISTS TOLLIMER_CHAIN_VALUES)
    tollimer_chain_row("${row}" v)
    set(value "${${chain}_${v_name}}")
    tollimer_value_has_form(${v_form} "${value}" ok)
    if(value STREQUAL "")
      if(v_need STREQUAL "chain")
        list(APPEND errors "${v_name} is missing: ${TOLLIMER_FORM_${v_form}}")
      endif()
      continue()
    elseif(NOT ok)
      list(APPEND errors "${v_name} = ${value} is not ${TOLLIMER_FORM_${v_form}}")
      continue()
    endif()
    if(v_need STREQUAL "chain")
      tollimer_is_test_value(${test} ${v_name} "${value}" is_test)
      if(is_test AND v_name STREQUAL "release_key")
        list(APPEND errors
             "release_key is the test key of tests/data/release/, whose private half is public: give the chain's own (tollimer-central keygen)")
      elseif(is_test)
        list(APPEND errors "${v_name} is a value of the test build, known to everyone: give the chain's own")
      endif()
    endif()
  endforeach()
  if(NOT "${${chain}_service_pin}" STREQUAL "" AND NOT "${${chain}_service_base}" MATCHES "^https://")
    list(APPEND errors "service_pin is given but service_base is not https://: the pin is checked on https alone")
  endif()
  if("${${chain}_hit_notice}" STREQUAL "off" AND NOT "${${chain}_service_base}" MATCHES "^https://")
    list(APPEND errors "hit_notice = off needs an https:// service_base: over plain http the notice is the hit's only second report")
  endif()
  set(${out} "${errors}" PARENT_SCOPE)
endfunction()
