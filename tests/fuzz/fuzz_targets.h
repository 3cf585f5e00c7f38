// The fuzz targets: one entry per reader of outside data, each taking the
// bytes as that reader would get them. libFuzzer drives them in build/fuzz;
// the native unit tests replay every saved input of tests/fuzz/corpus/<name>/.
#pragma once
#include <cstddef>
#include <cstdint>

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
  const char* name;  // also the corpus folder
  FuzzEntry entry;
};

int FuzzBlacklistFile(const std::uint8_t* data, std::size_t size);
int FuzzBlacklistService(const std::uint8_t* data, std::size_t size);
int FuzzBillingReply(const std::uint8_t* data, std::size_t size);
int FuzzGetInfoReply(const std::uint8_t* data, std::size_t size);
int FuzzDownloadReply(const std::uint8_t* data, std::size_t size);
int FuzzSplitUrl(const std::uint8_t* data, std::size_t size);
int FuzzEnvelope(const std::uint8_t* data, std::size_t size);
int FuzzSettingsValues(const std::uint8_t* data, std::size_t size);
int FuzzServiceReply(const std::uint8_t* data, std::size_t size);
int FuzzReadBmp(const std::uint8_t* data, std::size_t size);
int FuzzBlacklistImport(const std::uint8_t* data, std::size_t size);
int FuzzInstallReport(const std::uint8_t* data, std::size_t size);
int FuzzHitAndNotice(const std::uint8_t* data, std::size_t size);
int FuzzReleaseSignature(const std::uint8_t* data, std::size_t size);
int FuzzReleaseStatement(const std::uint8_t* data, std::size_t size);
int FuzzTimeZone(const std::uint8_t* data, std::size_t size);
int FuzzRequestHead(const std::uint8_t* data, std::size_t size);
int FuzzRobotAnswer(const std::uint8_t* data, std::size_t size);
int FuzzCentralConfig(const std::uint8_t* data, std::size_t size);
int FuzzRobotMessage(const std::uint8_t* data, std::size_t size);

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"blacklist_file", FuzzBlacklistFile},
    {"blacklist_service", FuzzBlacklistService},
    {"billing_reply", FuzzBillingReply},
    {"getinfo_reply", FuzzGetInfoReply},
    {"download_reply", FuzzDownloadReply},
    {"split_url", FuzzSplitUrl},
    {"envelope", FuzzEnvelope},
    {"settings_values", FuzzSettingsValues},
    {"service_reply", FuzzServiceReply},
    {"read_bmp", FuzzReadBmp},
    {"blacklist_import", FuzzBlacklistImport},
    {"install_report", FuzzInstallReport},
    {"hit_and_notice", FuzzHitAndNotice},
    {"release_signature", FuzzReleaseSignature},
    {"release_statement", FuzzReleaseStatement},
    {"time_zone", FuzzTimeZone},
    {"request_head", FuzzRequestHead},
    {"robot_answer", FuzzRobotAnswer},
    {"central_config", FuzzCentralConfig},
    {"robot_message", FuzzRobotMessage},
};

// A fault the sanitizers cannot see (a broken round trip, a rule broken):
// ends the process so the fuzzer keeps the input.
[[noreturn]] void FuzzFail(const char* what);
