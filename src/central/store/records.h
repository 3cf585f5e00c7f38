// What the store keeps, as the exchanges, the release files and the status
// page hand it over and read it back: plain records, no behaviour, so each of
// those folders and the store can share them without including each other.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "crypto/release_statement.h"

// One installation's report, as sent by its parameter and release exchange.
struct InstallReport {
  std::string mac;
  std::string diskSerial;
  std::string barId;
  std::string barName;
  std::string versionCrc;  // checksum text of the running executable
  std::string osVersion;
  std::string faceSound;
  std::string clientTime;  // the assistant's clock, Unix seconds as text
  int featureBits = -1;    // -1: not a number
  int monitors = -1;
  int neighbours = -1;
};

using ParamList = std::vector<std::pair<std::string, std::string>>;  // name, value (UTF-8)

// A blacklist-hit report: "CID=<id>&RET=<mac>|<bar id>|<bar name>|".
struct HitReport {
  std::string idNumber;
  std::string mac;
  std::string barId;
  std::string barName;
};

// A notice datagram: the eight-byte prefix and "Bid=..,BarName=..,BlackID=..".
struct Notice {
  std::string text;  // the whole notice
  std::string barId;
  std::string barName;
  std::string entry;  // the blacklist line that matched
};

// A release the operator added: what the assistants report and compare, and
// the processor it is built for.
struct ReleaseInfo {
  std::string crc;      // 8 upper-case hex digits, as the assistant writes its own
  std::string md5;      // 32 lower-case hex digits
  std::int64_t size = 0;
  std::string machine;  // "x86", "x64" or "other"
  ReleaseNumber number = 0;  // FILEVERSION of its version resource; 0 when it has none
};

// A hit and a notice as the status page lists them.
struct StatusHit {
  std::int64_t time = 0;  // Unix seconds
  std::string idNumber, mac, barId, barName, address;
  std::int64_t seq = 0;  // the store's order of arrival
};

struct StatusNotice {
  std::int64_t time = 0;
  std::string address, text;
};
