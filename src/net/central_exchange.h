// The parameter and release exchange with the central service: the request
// that reports the installation, the sealed reply that carries the runtime
// parameters and the checksum texts of the current release, and the update
// decision taken from them.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "platform/http_client.h"
#include "settings/run_params.h"

// Update states.
inline constexpr int kUpdateNoReply = -1;    // nothing usable received
inline constexpr int kUpdatePeerRefused = -2;  // the service's certificate refused: nothing sent
inline constexpr int kUpdateCurrent = 1;     // the running executable is the release
inline constexpr int kUpdateAvailable = 2;   // a newer executable is available

// True for the states of an exchange that got nothing from the service (a
// silent one or one whose certificate was refused): the attempts go on and
// the parameters stay.
constexpr bool IsFailedExchange(int state) {
  return state == kUpdateNoReply || state == kUpdatePeerRefused;
}

// What the request reports, by role.
struct UpdateRequestValues {
  long long unixTime = 0;
  int neighbourCount = 0;
  std::string macText;
  std::string exeChecksum;
  std::string barId;
  std::string barName;
  std::string osVersion;
  int featureBits = 0;
  int monitorCount = 0;
  std::string faceSoundInfo;
  std::string diskSerial;
};

// The request text (before sealing).
std::string BuildUpdateRequest(const UpdateRequestValues& values);

// The opened payload of a reply (already converted from UTF-8): the text
// between the markers, opened with key row 1. Nothing when the reply has no
// opening marker or the opened payload holds no "=".
std::optional<std::string> OpenServiceReply(const std::string& replyText);

// The value of `name` in name=value lines (split at CR, LF or CR LF): the text
// after the first "=" of the first line whose name matches without regard to
// ASCII case; nothing when no line has that name.
std::optional<std::string> ReplyValue(const std::string& payload, const std::string& name);

// 2 when the release identities (at least 8 characters) do not hold the
// executable checksum text as one of them (IsReleaseIdentity: letters of
// either case; an empty checksum is never one), else 1.
int UpdateDecision(const std::string& releaseIdentities, const std::string& exeChecksum);

// True when `crcText` equals one of the identities, which are separated by
// anything that is not a hexadecimal digit; letters compare without regard to
// case. An empty text is never one.
bool IsReleaseIdentity(const std::string& releaseIdentities, const std::string& crcText);

class ActivityLog;
class Clock;

class CentralExchange {
 public:
  CentralExchange(HttpClient& http, TCenterPar& par, std::string updateAddress,
                  std::string exeChecksum)
      : http_(http), par_(par), updateAddress_(std::move(updateAddress)),
        exeChecksum_(std::move(exeChecksum)) {}

  // Seals the request, POSTs it to the update address + "?t=" + kind, opens
  // the reply; with a usable reply fills the runtime parameters (service
  // defaults for missing values) and returns 1 or 2, else -1 with nothing
  // changed (-2 when the service's certificate was refused).
  int Check_Update(const std::string& requestText, int kind);

  // Start-up: Check_Update with kind 1, up to 15 attempts while it returns
  // -1 or -2, each attempt logged with its number and result, and a wait of 1000 ms
  // that keeps messages flowing after every failed one (the fifteenth too). Returns
  // the last result.
  int Check_UpdateAtStartup(const std::string& requestText, Clock& clock, ActivityLog& log);

  // The same attempts with the log and the wait supplied: `attempted` gets
  // each attempt's number and result; `pause(ms)` waits, false when the
  // attempts must end early (the program is closing).
  int Check_UpdateAttempts(const std::string& requestText,
                           const std::function<void(int attempt, int state)>& attempted,
                           const std::function<bool(int ms)>& pause);

  // A fresh request (from `makeRequest`) with kind 2: the periodic check.
  int Call_Update(const std::function<std::string()>& makeRequest) {
    return Check_Update(makeRequest(), 2);
  }

  // The release identities of the last reply that announced an update: the
  // downloaded executable must be one of them before it replaces this one.
  const std::string& ReleaseIdentities() const { return releaseIdentities_; }

 private:
  HttpClient& http_;
  TCenterPar& par_;
  std::string updateAddress_;
  std::string exeChecksum_;
  std::string releaseIdentities_;
};
