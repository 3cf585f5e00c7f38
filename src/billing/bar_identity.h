// The cafe's identity at the billing system: the bar id and bar name that go
// with every request to the central service, into the blacklist notice and the
// log. Read from the billing console's installation at initialisation; when
// that gives no usable bar id, asked of the billing server ("GetInfo") while
// the main window is created, and cached in the bar-identity file.
#pragma once
#include <cstdint>
#include <string>

#include "billing/session.h"

class ActivityLog;
class Clock;
class Files;
class IniFile;
class Registry;

// Process-wide values, owned by the caller for the life of the process.
struct BarIdentity {
  std::string consoleFolder;  // the billing console's folder (GBK)
  std::string barId = "-1";
  std::string barName;
};

// What the lookup and the query use of the outside world.
struct BillingLink {
  Registry& registry;
  IniFile& ini;
  Files& files;
  Clock& clock;
  ActivityLog& log;
  std::uint16_t port = kBillingPort;  // the billing server's TCP port
};

// Time-out of the start-up query, milliseconds.
constexpr int kLoginTimeoutMs = 2000;

// Initialisation lookup: sets the console folder, bar id and bar name from the
// billing console's registry values, V8 marker file and bar-identity file.
void Read_BarIdentity(Registry& registry, IniFile& ini, Files& files, BarIdentity& identity);

// Asks the billing server in the host file of `consoleFolder` for the bar
// identity. Returns the session result code (kNoHostIP when there is no host
// file); on kSessionOk `barId` and `barName` ("@" + the client name) are set,
// `msg` holds the raw reply and an existing bar-identity file is updated.
// `barName` is "--" after any failure. `timeoutMs` in milliseconds.
[[nodiscard]] int Login(BillingLink& link, const std::string& consoleFolder, std::string& msg,
                        std::string& barId, std::string& barName, int timeoutMs);

// The start-up step (after Windows Sockets have been started): queries the
// server unless the bar id has 6 or more characters; a failed query leaves the
// result code as the bar id and its message as the bar name. A query writes
// "ret=%d,barid=%s,barname=%s" to the log; returns the result code (0, and no
// log line, when no query was made). `timeoutMs` as for Login.
int Query_BarIdentity(BillingLink& link, BarIdentity& identity, int timeoutMs = kLoginTimeoutMs);

// The values of "Number" and "ClientName" in a reply of name=value lines
// (CR, LF or CR LF between lines; names without regard to ASCII case; the
// first match wins; a missing name gives empty text).
struct GetInfoReply {
  std::string number;
  std::string clientName;
};
GetInfoReply ParseGetInfoReply(const std::string& reply);
