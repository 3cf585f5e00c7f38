// The central service's readers of outside data: the operator's blacklist
// file at import, and what installations send (the sealed installation
// report, the hit report's query, the notice datagram).
#include <string>

#include "blacklist/blacklist_lines.h"
#include "central/exchange/blacklist_import.h"
#include "central/config/central_config.h"
#include "central/exchange/exchange.h"
#include "central/http/forwarded_client.h"
#include "central/http/request_head.h"
#include "central/webhook/robot_message.h"
#include "crypto/codepage.h"
#include "crypto/envelope.h"
#include "fakes/sample_update_request.h"
#include "fuzz_targets.h"
#include "net/central_exchange.h"

namespace {

bool HasControlByte(const std::string& text) {
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

// A field as stored and shown: no control byte.
void CheckStoredField(const std::string& utf8) {
  if (HasControlByte(utf8)) FuzzFail("a control byte stored in a field");
}

}  // namespace

// First byte: bit 0 says the file is UTF-8 (the operator's --utf8); the rest
// is the file. Every line the import counts must reach a cafe as it was
// counted: stored as UTF-8, served as GBK and sealed, opened by the assistant.
int FuzzBlacklistImport(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const BlacklistImport import = ParseBlacklistFile(text, (data[0] & 1) != 0, CalendarDate{2024, 3, 7});
  const TEnvelopeKey key = EnvelopeKeyRow(3);
  for (const BlacklistEntry& entry : import.entries) {
    if (entry.line.compare(0, 18, entry.idNumber) != 0 || entry.line.size() < 19 || entry.line[18] != ' ') {
      FuzzFail("an imported line without its ID and separator");
    }
    std::string sealed;
    Des_CryptWithKey(Utf8_ToAnsi(Ansi_ToUtf8(entry.line)), 1, key, 0, true, sealed);
    const std::optional<std::string> opened = OpenServiceLine(sealed);
    if (!opened || *opened != entry.line) FuzzFail("an imported line the cafes do not get as counted");
  }
  for (const LineNote& note : import.refused) {
    if (note.why.empty()) FuzzFail("a refusal without its reason");
  }
  return 0;
}

// First byte: which of the assistant's report values the rest is (0-6), or
// (7) the report text itself, as a hand-made client could send it. Whatever
// one value holds, the other fields the service reads stay as the assistant
// gave them; no stored field holds a control byte.
int FuzzInstallReport(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string value(reinterpret_cast<const char*>(data) + 1, size - 1);
  const CentralConfig config;
  auto open = [&](const std::string& text) {
    std::string sealed;
    Des_CryptWithKey(text, 1, config.serviceKey, 1, true, sealed);
    return OpenInstallReport(sealed, config);
  };
  const UpdateRequestValues plain = SampleUpdateRequest();
  std::string UpdateRequestValues::*fields[] = {
      &UpdateRequestValues::macText,  &UpdateRequestValues::exeChecksum,   &UpdateRequestValues::barId,
      &UpdateRequestValues::barName,  &UpdateRequestValues::osVersion,     &UpdateRequestValues::faceSoundInfo,
      &UpdateRequestValues::diskSerial};
  const unsigned which = data[0] % 8;
  const std::optional<InstallReport> report =
      which == 7 ? open(value) : [&] {
        UpdateRequestValues spoilt = plain;
        spoilt.*fields[which] = value;
        return open(BuildUpdateRequest(spoilt));
      }();
  if (!report) {
    if (which == 7) return 0;
    FuzzFail("an assistant's report refused for one value");
  }
  for (const std::string* field : {&report->mac, &report->diskSerial, &report->barId, &report->barName,
                                   &report->versionCrc, &report->osVersion, &report->faceSound,
                                   &report->clientTime}) {
    CheckStoredField(*field);
  }
  if (which == 7) return 0;
  const std::optional<InstallReport> base = open(BuildUpdateRequest(plain));
  const std::string InstallReport::*read[] = {&InstallReport::mac,       &InstallReport::versionCrc,
                                              &InstallReport::barId,     &InstallReport::barName,
                                              &InstallReport::osVersion, &InstallReport::faceSound,
                                              &InstallReport::diskSerial};
  for (unsigned i = 0; i < 7; ++i) {
    if (i != which && (*report).*read[i] != (*base).*read[i]) FuzzFail("one value supplied another field");
  }
  if (report->featureBits != base->featureBits || report->monitors != base->monitors ||
      report->neighbours != base->neighbours || report->clientTime != base->clientTime) {
    FuzzFail("one value supplied a number");
  }
  return 0;
}

// The hit report's query and the notice datagram: fields cut on character
// boundaries, no control byte stored.
int FuzzHitAndNotice(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (const auto hit = ParseHitReport(text)) {
    for (const std::string* field : {&hit->idNumber, &hit->mac, &hit->barId, &hit->barName}) CheckStoredField(*field);
  }
  if (const auto notice = ParseNotice(text)) {
    for (const std::string* field : {&notice->text, &notice->barId, &notice->barName, &notice->entry}) {
      CheckStoredField(*field);
    }
  }
  // A cut never splits a character: what it keeps reads as the start of the
  // whole text does. Only for GBK text: bytes the code page does not map are
  // replaced one by one, which can pair the rest differently.
  if (text.find('\0') != std::string::npos || Utf8_ToAnsi(Ansi_ToUtf8(text)) != text) return 0;
  const std::string whole = GbkField(text, text.size());
  for (std::size_t max = 0; max <= text.size() && max <= 40; ++max) {
    const std::string cut = GbkField(text, max);
    if (whole.compare(0, cut.size(), cut) != 0) FuzzFail("a cut that splits a character");
  }
  return 0;
}

// The bytes a client sends on one connection, arriving in pieces of
// (first byte % 16 + 1) bytes. Read piece by piece, each step says what a
// reading of everything so far at once says; a whole request never claims
// more bytes than arrived, and a refusal carries one of its statuses.
int FuzzRequestHead(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 16 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  RequestLimits limits;
  limits.maxHeadBytes = 512;  // small, so the fuzzer reaches the limits
  limits.maxBodyBytes = 256;
  RequestFraming framing(limits);
  for (std::size_t have = std::min(piece, stream.size());; have = std::min(have + piece, stream.size())) {
    const std::string_view received = stream.substr(0, have);
    const RequestProgress p = framing.Update(received);
    const RequestProgress whole = ExamineRequest(received, limits);
    if (p.state != whole.state || p.status != whole.status ||
        (p.state == RequestProgress::State::Complete && p.length != whole.length)) {
      FuzzFail("piecewise reading differs from reading at once");
    }
    if (p.state == RequestProgress::State::Complete && p.length > received.size()) {
      FuzzFail("a whole request longer than what arrived");
    }
    // The client behind a trusted proxy is always a plain numeric address.
    if (p.state == RequestProgress::State::Complete) {
      const std::string client = ForwardedClient(received, "127.0.0.1", {"127.0.0.1"});
      if (CanonicalAddress(client) != client) FuzzFail("a forwarded client that is not a numeric address");
    }
    if (p.state == RequestProgress::State::Refused && p.status != 400 && p.status != 411 && p.status != 413 &&
        p.status != 414 && p.status != 431) {
      FuzzFail("a refusal with an unexpected status");
    }
    if (p.state != RequestProgress::State::Incomplete || have == stream.size()) break;
  }
  return 0;
}

// First byte: the robot's kind (% 4); the next two: the HTTP status; the rest
// is the robot's answer. Delivered exactly when there is no error, and a
// "too fast" answer is never taken as delivered.
int FuzzRobotAnswer(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const auto kind = static_cast<RobotKind>(data[0] % 4);
  const int status = (data[1] << 8 | data[2]) % 1000;
  const std::string body(reinterpret_cast<const char*>(data) + 3, size - 3);
  const RobotAnswer a = ReadRobotAnswer(kind, status, body);
  if (a.delivered != a.error.empty()) FuzzFail("delivered and an error, or neither");
  if (a.delivered && a.rateLimited) FuzzFail("a rate-limit answer taken as delivered");
  return 0;
}
