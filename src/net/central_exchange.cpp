#include "net/central_exchange.h"

#include "crypto/codepage.h"
#include "crypto/envelope.h"
#include "log/activity_log.h"
#include "platform/clock.h"
#include "util/literal_table.h"
#include "util/name_value.h"
#include "util/text.h"

namespace {

constexpr int kSeal = 1;
constexpr int kOpen = 2;
constexpr int kServiceKeyRow = 1;
constexpr int kUtf8 = 1;
// Every exchange with the central service waits this long at most per step.
constexpr int kServiceTimeoutMs = 5000;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

namespace {

// A value as one line of the request: control bytes (a line break in a bar
// name, say) become spaces, so no value can supply the lines after it. No
// such byte is part of a two-byte GBK character.
std::string RequestValue(std::string value) {
  for (char& c : value) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
  return value;
}

}  // namespace

std::string BuildUpdateRequest(const UpdateRequestValues& v) {
  // The time goes in as text: the format is deciphered at run time, so no
  // compiler checks a 64-bit conversion against the 32-bit build's va_list.
  return FormatRuntime(Literal(lit::kUpdateRequestFormat), std::to_string(v.unixTime).c_str(),
                v.neighbourCount, RequestValue(v.macText).c_str(), RequestValue(v.exeChecksum).c_str(),
                RequestValue(v.barId).c_str(), RequestValue(v.barName).c_str(),
                RequestValue(v.osVersion).c_str(), v.featureBits, v.monitorCount,
                RequestValue(v.faceSoundInfo).c_str(), RequestValue(v.diskSerial).c_str());
}

std::optional<std::string> OpenServiceReply(const std::string& replyText) {
  const std::string open = Literal(lit::kReplyOpenMarker);
  const std::size_t marker = replyText.find(open);
  if (marker == std::string::npos) return std::nullopt;
  // The payload starts two characters after the marker.
  const std::size_t start = marker + open.size() + 2;
  std::string rest = start < replyText.size() ? replyText.substr(start) : std::string();
  const std::size_t close = rest.find(Literal(lit::kReplyCloseMarker));
  const std::string sealed = close == std::string::npos ? std::string() : rest.substr(0, close);
  std::string payload;
  Des_Crypt(sealed, kOpen, kServiceKeyRow, kUtf8, true, payload);
  if (payload.find('=') == std::string::npos) return std::nullopt;
  return payload;
}

std::optional<std::string> ReplyValue(const std::string& payload, const std::string& name) {
  std::vector<std::string> values = NameValues(payload, name);
  if (values.empty()) return std::nullopt;
  return std::move(values.front());
}

int UpdateDecision(const std::string& releaseIdentities, const std::string& exeChecksum) {
  if (releaseIdentities.size() < 8) return kUpdateCurrent;
  // The same comparison as the check of the download: a release that check
  // accepted is current once it runs, whatever case the reply writes it in
  // (otherwise it would be downloaded and swapped in again at every start).
  return IsReleaseIdentity(releaseIdentities, exeChecksum) ? kUpdateCurrent : kUpdateAvailable;
}

bool IsReleaseIdentity(const std::string& releaseIdentities, const std::string& crcText) {
  if (crcText.empty()) return false;
  std::size_t i = 0;
  while (i < releaseIdentities.size()) {
    if (!IsHexDigit(releaseIdentities[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < releaseIdentities.size() && IsHexDigit(releaseIdentities[end])) ++end;
    if (SameTextAscii(std::string_view(releaseIdentities).substr(i, end - i), crcText)) return true;
    i = end;
  }
  return false;
}

int CentralExchange::Check_Update(const std::string& requestText, int kind) {
  std::string sealed;
  Des_Crypt(requestText, kSeal, kServiceKeyRow, kUtf8, true, sealed);
  const std::string reply = http_.HttpRequest(updateAddress_ + "?t=" + std::to_string(kind), sealed,
                                              kServiceTimeoutMs);
  if (http_.PeerRefused()) return kUpdatePeerRefused;
  const std::optional<std::string> payload = OpenServiceReply(Utf8_ToAnsi(reply));
  if (!payload) return kUpdateNoReply;
  ApplyServiceAnswer(par_, [&](const std::string& key) { return ReplyValue(*payload, key); });
  const std::string identities =
      ReplyValue(*payload, Literal(lit::kKeyReleaseIdentities)).value_or(std::string());
  const int state = UpdateDecision(identities, exeChecksum_);
  if (state == kUpdateAvailable) releaseIdentities_ = identities;
  return state;
}

int CentralExchange::Check_UpdateAtStartup(const std::string& requestText, Clock& clock,
                                           ActivityLog& log) {
  return Check_UpdateAttempts(
      requestText,
      [&](int attempt, int state) {
        log.WriteLog(FormatRuntime(Literal(lit::kAttemptLineFormat), attempt, state));
      },
      [&](int ms) {
        clock.DelayWithMessages(ms);
        return true;
      });
}

int CentralExchange::Check_UpdateAttempts(const std::string& requestText,
                                          const std::function<void(int attempt, int state)>& attempted,
                                          const std::function<bool(int ms)>& pause) {
  constexpr int kAttempts = 15;
  int state = kUpdateNoReply;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    state = Check_Update(requestText, 1);
    attempted(attempt, state);
    if (!IsFailedExchange(state)) break;
    if (!pause(1000)) break;
  }
  return state;
}
