// What passes between an assistant and the central service, on the service's
// side: the sealed installation report and its reply, the blacklist-hit
// report's query, the notice datagram, and which request asks for what.
// Text that comes in is GBK; what the service keeps and prints is UTF-8.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "central/config/central_config.h"
#include "central/store/records.h"

// Opens a request body with the service's key row. Nothing when it does not
// open to name=value lines that carry the "mac" and "crc" names once each
// (garbage, a wrong key, an empty body). A name given on several lines is
// taken as missing: its value came from inside another one.
std::optional<InstallReport> OpenInstallReport(const std::string& body, const CentralConfig& config);

// The reply the assistant reads: opening marker, CR LF, the sealed payload of
// name=value lines (the parameters, then "crclist=" and the release
// identities), closing marker.
std::string BuildExchangeReply(const ParamList& params, const std::string& releaseIdentities,
                               const CentralConfig& config);

// Reply name of the release identities; parameters may not use it.
inline constexpr const char* kReleaseIdentitiesName = "crclist";

// Reads the raw query of a report request (percent escapes decoded, GBK).
// Nothing when it is not a report.
std::optional<HitReport> ParseHitReport(const std::string& rawQuery);

inline constexpr std::size_t kMaxNoticeBytes = 4096;
// What a notice keeps at most, in UTF-8 bytes: its whole text and the three
// fields (a real notice is one blacklist entry, a few hundred bytes).
inline constexpr std::size_t kNoticeTextBytes = 512;
inline constexpr std::size_t kNoticeBarIdBytes = 64;
inline constexpr std::size_t kNoticeBarNameBytes = 128;
inline constexpr std::size_t kNoticeEntryBytes = 384;

// Nothing for a datagram without the prefix, longer than kMaxNoticeBytes, or
// not of the notice's shape ("Bid=..,BarName=..,BlackID=..").
std::optional<Notice> ParseNotice(const std::string& datagram);

// Which exchange a request is.
enum class Endpoint { Exchange, Download, Signature, Blacklist, Report, About, NotFound };

struct RouteResult {
  Endpoint endpoint = Endpoint::NotFound;
  std::string releaseCrc;  // Download, Signature: the requester's checksum text, upper case
  std::string rawQuery;    // the text after the first "?", as received
};

// Routes on the raw request target. The path is percent-decoded and must
// equal one of the configured paths exactly; a download or signature name
// must be eight hex digits between the configured prefix and suffix. Nothing in a target
// ever becomes a file name.
RouteResult RouteRequest(const std::string& rawTarget, const CentralConfig& config);

// Percent escapes decoded; a "%" without two hex digits stays as it is.
std::string PercentDecode(const std::string& text);

// GBK text cut to at most `maxBytes` without splitting a double-byte character
// (lead bytes 0x81-0xFE, as code page 936 reads them), its control bytes
// written as \xNN, then converted to UTF-8.
std::string GbkField(const std::string& gbk, std::size_t maxBytes);
