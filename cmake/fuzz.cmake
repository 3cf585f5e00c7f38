# Fuzz tree (clang, -DTOLLIMER_FUZZ=ON): one libFuzzer program per reader of
# outside data, fuzz_<name>, with AddressSanitizer and UndefinedBehaviorSanitizer.
# scripts/run-fuzz builds and runs them; the native tree replays their corpus.
find_package(Threads REQUIRED)
set(FUZZ_TARGETS
  blacklist_file:FuzzBlacklistFile
  blacklist_service:FuzzBlacklistService
  billing_reply:FuzzBillingReply
  getinfo_reply:FuzzGetInfoReply
  download_reply:FuzzDownloadReply
  split_url:FuzzSplitUrl
  envelope:FuzzEnvelope
  settings_values:FuzzSettingsValues
  service_reply:FuzzServiceReply
  read_bmp:FuzzReadBmp
  blacklist_import:FuzzBlacklistImport
  install_report:FuzzInstallReport
  hit_and_notice:FuzzHitAndNotice
  release_signature:FuzzReleaseSignature
  release_statement:FuzzReleaseStatement
  time_zone:FuzzTimeZone
  request_head:FuzzRequestHead
  robot_answer:FuzzRobotAnswer)
# The central service's readers of outside data, without its HTTP server and
# store (which need libraries the fuzz tree does not build with).
add_library(fuzz_central STATIC src/central/exchange/blacklist_import.cpp src/central/config/central_config.cpp
            src/central/config/webhook_target.cpp src/central/webhook/robot_message.cpp
            src/central/base/json_rows.cpp src/central/base/log_text.cpp
            src/central/exchange/exchange.cpp src/central/base/time_zone.cpp src/central/http/request_head.cpp
            src/central/http/forwarded_client.cpp)
target_link_libraries(fuzz_central PUBLIC tollimer_core)
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS tests/fuzz/targets/*.cpp)
add_library(fuzz_targets STATIC ${FUZZ_SOURCES} tests/fuzz/loopback_peer.cpp tests/fuzz/fuzz_fail.cpp)
target_include_directories(fuzz_targets PUBLIC tests tests/fuzz)
target_link_libraries(fuzz_targets PUBLIC tollimer_core fuzz_central Threads::Threads)
foreach(pair ${FUZZ_TARGETS})
  string(REPLACE ":" ";" fields ${pair})
  list(GET fields 0 name)
  list(GET fields 1 entry)
  add_executable(fuzz_${name} tests/fuzz/fuzz_main.cpp)
  target_compile_definitions(fuzz_${name} PRIVATE FUZZ_ENTRY=${entry})
  target_link_libraries(fuzz_${name} PRIVATE fuzz_targets)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endforeach()
