#include "central/exchange/exchange.h"

#include "central/base/log_text.h"
#include "crypto/codepage.h"
#include "net/notice.h"
#include "util/name_value.h"
#include "util/text.h"

namespace {

constexpr int kSeal = 1;
constexpr int kOpen = 2;
constexpr int kUtf8 = 1;
constexpr std::size_t kFieldBytes = 128;  // longer values are cut, not refused

// The value of a name in the report's name=value lines. A name given on
// more than one line has no value: the assistant writes each name once, so a
// second line came from inside another value (a line break in a bar name)
// and neither can be trusted.
std::optional<std::string> LineValue(const std::string& text, std::string_view name) {
  std::vector<std::string> values = NameValues(text, name);
  if (values.size() != 1) return std::nullopt;
  return std::move(values.front());
}

int NumberOrMinusOne(const std::optional<std::string>& text) {
  if (!text) return -1;
  return ParseDecimal(*text).value_or(-1);
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// The text between `from` and the first `to` after it.
std::string Between(const std::string& text, std::size_t from, std::size_t to) {
  return to == std::string::npos ? text.substr(from) : text.substr(from, to - from);
}

}  // namespace

std::string GbkField(const std::string& gbk, std::size_t maxBytes) {
  const std::string_view field(gbk.data(), GbkCutLength(gbk, maxBytes));
  // Converted piece by piece between NUL bytes, since the conversion stops
  // at the first one.
  std::string utf8;
  for (std::size_t begin = 0;;) {
    const std::size_t nul = field.find('\0', begin);
    utf8 += Ansi_ToUtf8(field.substr(begin, nul == std::string_view::npos ? nul : nul - begin));
    if (nul == std::string_view::npos) break;
    utf8 += '\0';
    begin = nul + 1;
  }
  // Control bytes would break the lines of the operator's listings and the
  // status page, or steer a terminal: each is shown as \xNN instead. In
  // UTF-8 none is part of another character.
  std::string shown;
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      shown += Format("\\x%02X", static_cast<unsigned>(b));
    } else {
      shown += c;
    }
  }
  return shown;
}

std::optional<InstallReport> OpenInstallReport(const std::string& body, const CentralConfig& config) {
  std::string text;
  Des_CryptWithKey(body, kOpen, config.serviceKey, kUtf8, true, text);
  const auto mac = LineValue(text, "mac");
  const auto crc = LineValue(text, "crc");
  if (!mac || !crc) return std::nullopt;
  auto field = [&](const char* name) { return GbkField(LineValue(text, name).value_or(""), kFieldBytes); };
  InstallReport r;
  r.mac = GbkField(*mac, kFieldBytes);
  r.versionCrc = GbkField(*crc, kFieldBytes);
  r.diskSerial = field("disk");
  r.barId = field("barid");
  r.barName = field("barname");
  r.osVersion = field("os");
  r.faceSound = field("facesound");
  r.clientTime = field("time");
  r.featureBits = NumberOrMinusOne(LineValue(text, "expcofig"));
  r.monitors = NumberOrMinusOne(LineValue(text, "monitors"));
  r.neighbours = NumberOrMinusOne(LineValue(text, "neighbours"));
  return r;
}

std::string BuildExchangeReply(const ParamList& params, const std::string& releaseIdentities,
                               const CentralConfig& config) {
  std::string payload;
  for (const auto& [name, value] : params) payload += Utf8_ToAnsi(name + "=" + value) + "\r\n";
  payload += std::string(kReleaseIdentitiesName) + "=" + releaseIdentities + "\r\n";
  std::string sealed;
  Des_CryptWithKey(payload, kSeal, config.serviceKey, kUtf8, true, sealed);
  // The assistant skips the two characters after the opening marker.
  return config.openMarker + "\r\n" + sealed + config.closeMarker + "\r\n";
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<HitReport> ParseHitReport(const std::string& rawQuery) {
  const std::string query = PercentDecode(rawQuery);
  static constexpr std::string_view kCid = "CID=";
  static constexpr std::string_view kRet = "&RET=";
  if (query.compare(0, kCid.size(), kCid) != 0) return std::nullopt;
  const std::size_t ret = query.find(kRet, kCid.size());
  if (ret == std::string::npos) return std::nullopt;
  HitReport hit;
  hit.idNumber = GbkField(query.substr(kCid.size(), ret - kCid.size()), kFieldBytes);
  if (hit.idNumber.empty()) return std::nullopt;
  // MAC and bar id hold no "|"; the bar name is everything up to the final
  // "|", so a name with a "|" of its own stays whole.
  const std::string rest = query.substr(ret + kRet.size());
  const std::size_t first = rest.find('|');
  const std::size_t second = first == std::string::npos ? first : rest.find('|', first + 1);
  if (second == std::string::npos) return std::nullopt;
  std::string name = rest.substr(second + 1);
  if (!name.empty() && name.back() == '|') name.pop_back();
  hit.mac = GbkField(rest.substr(0, first), kFieldBytes);
  hit.barId = GbkField(Between(rest, first + 1, second), kFieldBytes);
  hit.barName = GbkField(name, kFieldBytes);
  return hit;
}

std::optional<Notice> ParseNotice(const std::string& datagram) {
  if (datagram.size() > kMaxNoticeBytes || datagram.compare(0, kNoticePrefix.size(), kNoticePrefix) != 0) {
    return std::nullopt;
  }
  const std::string gbk = datagram.substr(kNoticePrefix.size());
  static constexpr std::string_view kBid = "Bid=";
  static constexpr std::string_view kName = ",BarName=";
  static constexpr std::string_view kEntry = ",BlackID=";
  if (gbk.compare(0, kBid.size(), kBid) != 0) return std::nullopt;
  const std::size_t name = gbk.find(kName);
  const std::size_t entry = name == std::string::npos ? name : gbk.find(kEntry, name + kName.size());
  if (entry == std::string::npos) return std::nullopt;
  // Each cut to its bound after the control bytes are written out, so a
  // datagram of control bytes keeps no more than a plain one.
  auto field = [](const std::string& part, std::size_t maxBytes) {
    return CutUtf8(GbkField(part, maxBytes), maxBytes);
  };
  Notice notice;
  notice.text = field(gbk, kNoticeTextBytes);
  notice.barId = field(gbk.substr(kBid.size(), name - kBid.size()), kNoticeBarIdBytes);
  notice.barName = field(Between(gbk, name + kName.size(), entry), kNoticeBarNameBytes);
  notice.entry = field(gbk.substr(entry + kEntry.size()), kNoticeEntryBytes);
  return notice;
}

namespace {

// The checksum text (upper case) of a name that is eight hex digits between
// `prefix` and `suffix`; nothing for any other name.
std::optional<std::string> LookupName(const std::string& rest, const std::string& prefix,
                                      const std::string& suffix) {
  if (rest.size() != prefix.size() + 8 + suffix.size() || rest.compare(0, prefix.size(), prefix) != 0 ||
      rest.compare(prefix.size() + 8, suffix.size(), suffix) != 0) {
    return std::nullopt;
  }
  const std::string crc = rest.substr(prefix.size(), 8);
  for (char c : crc) {
    if (!IsHex(c)) return std::nullopt;
  }
  return UpperAscii(crc);
}

}  // namespace

RouteResult RouteRequest(const std::string& rawTarget, const CentralConfig& config) {
  RouteResult route;
  const std::size_t mark = rawTarget.find('?');
  const std::string path = PercentDecode(rawTarget.substr(0, mark));
  if (mark != std::string::npos) route.rawQuery = rawTarget.substr(mark + 1);
  if (path.compare(0, config.basePath.size(), config.basePath) != 0) return route;
  const std::string rest = path.substr(config.basePath.size());
  if (rest == config.updatePath) {
    route.endpoint = Endpoint::Exchange;
  } else if (rest == config.blacklistPath) {
    route.endpoint = Endpoint::Blacklist;
  } else if (rest == config.reportPath) {
    route.endpoint = Endpoint::Report;
  } else if (rest == config.aboutPath) {
    route.endpoint = Endpoint::About;
  } else if (auto crc = LookupName(rest, config.updatePath + config.downloadPrefix, config.downloadSuffix)) {
    route.endpoint = Endpoint::Download;
    route.releaseCrc = *crc;
  } else if (auto crc = LookupName(rest, config.updatePath + config.signaturePrefix, config.signatureSuffix)) {
    route.endpoint = Endpoint::Signature;
    route.releaseCrc = *crc;
  }
  return route;
}
