#include "central/config/central_config.h"

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "central/http/forwarded_client.h"
#include "central/base/time_zone.h"
#include "net/url.h"
#include "util/text.h"

namespace {

std::string Trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::optional<int> Port(const std::string& value) {
  const std::optional<int> n = ParseDecimal(value);
  if (!n || *n < 0 || *n > 65535) return std::nullopt;
  return n;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 32 hex digits: the 8-byte DES key, then the 8-byte initial vector, written
// like TOLLIMER_DES_ROWn of the assistant's build.
std::optional<TEnvelopeKey> KeyRow(const std::string& value) {
  if (value.size() != 32) return std::nullopt;
  TEnvelopeKey key{};
  for (std::size_t i = 0; i < 16; ++i) {
    const int hi = HexValue(value[2 * i]);
    const int lo = HexValue(value[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    auto& block = i < 8 ? key.key : key.iv;
    block[i % 8] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return key;
}

std::string KeyRowText(const TEnvelopeKey& key) {
  std::string text;
  for (auto b : key.key) text += Format("%02X", static_cast<unsigned>(b));
  for (auto b : key.iv) text += Format("%02X", static_cast<unsigned>(b));
  return text;
}

// A path below the base: no leading "/", nothing that steps out or hides.
bool IsPlainPath(const std::string& path) {
  if (path.empty() || path[0] == '/') return false;
  for (char c : path) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '?' || c == '#' || c == '%' || c == '\\') {
      return false;
    }
  }
  return path.find("..") == std::string::npos;
}

// The base address of an assistant's build, "http://host:port/path/": the
// port and the path are the service's; the host is where assistants reach it,
// which need not be an address of this machine.
bool ApplyServiceBase(CentralConfig& c, const std::string& base) {
  std::string host, path, query;
  const int port = SplitUrl(base, host, path, query);
  if (port <= 0 || port > 65535 || !query.empty() || host.empty()) return false;
  if (!path.empty() && path.back() != '/') return false;
  if (!path.empty() && !IsPlainPath(path)) return false;
  c.httpPort = port;
  c.basePath = "/" + path;
  return true;
}

using Setter = std::function<bool(CentralConfig&, const std::string&)>;

// A format below the update path such as "file/%s.bin": one %s, the checksum
// text, between a prefix and a suffix.
Setter LookupFormat(std::string CentralConfig::*prefixField, std::string CentralConfig::*suffixField) {
  return [prefixField, suffixField](CentralConfig& c, const std::string& format) {
    const std::size_t at = format.find("%s");
    if (at == std::string::npos || format.find('%', at + 2) != std::string::npos) return false;
    const std::string prefix = format.substr(0, at);
    const std::string suffix = format.substr(at + 2);
    if (prefix.find('%') != std::string::npos) return false;
    if (!prefix.empty() && !IsPlainPath(prefix)) return false;
    if (suffix.find_first_of("/%?#\\") != std::string::npos) return false;
    c.*prefixField = prefix;
    c.*suffixField = suffix;
    return true;
  };
}

Setter Text(std::string CentralConfig::*field) {
  return [field](CentralConfig& c, const std::string& v) {
    if (v.empty()) return false;
    c.*field = v;
    return true;
  };
}

Setter PathOf(std::string CentralConfig::*field) {
  return [field](CentralConfig& c, const std::string& v) {
    if (!IsPlainPath(v)) return false;
    c.*field = v;
    return true;
  };
}

Setter PortOf(int CentralConfig::*field, bool mayBeOff = false) {
  return [field, mayBeOff](CentralConfig& c, const std::string& v) {
    if (mayBeOff && v == "off") {
      c.*field = -1;
      return true;
    }
    const auto port = Port(v);
    if (port) c.*field = *port;
    return port.has_value();
  };
}

// A whole number in [low, high].
template <typename T>
Setter NumberOf(T CentralConfig::*field, int low, int high) {
  return [field, low, high](CentralConfig& c, const std::string& v) {
    const auto n = ParseDecimal(v);
    if (!n || *n < low || *n > high) return false;
    c.*field = static_cast<T>(*n);
    return true;
  };
}

Setter KeyOf(TEnvelopeKey CentralConfig::*field, bool CentralConfig::*given) {
  return [field, given](CentralConfig& c, const std::string& v) {
    const auto key = KeyRow(v);
    if (key) c.*field = *key;
    if (key) c.*given = true;
    return key.has_value();
  };
}

bool SameKey(const TEnvelopeKey& a, const TEnvelopeKey& b) { return a.key == b.key && a.iv == b.iv; }

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters = {
      {"data_dir", Text(&CentralConfig::dataDir)},
      {"http_address", Text(&CentralConfig::httpAddress)},
      {"http_port", PortOf(&CentralConfig::httpPort)},
      {"service_base", ApplyServiceBase},
      {"update_path", PathOf(&CentralConfig::updatePath)},
      {"download_format", LookupFormat(&CentralConfig::downloadPrefix, &CentralConfig::downloadSuffix)},
      {"signature_format", LookupFormat(&CentralConfig::signaturePrefix, &CentralConfig::signatureSuffix)},
      {"blacklist_path", PathOf(&CentralConfig::blacklistPath)},
      {"report_path", PathOf(&CentralConfig::reportPath)},
      {"about_path", PathOf(&CentralConfig::aboutPath)},
      {"open_marker", Text(&CentralConfig::openMarker)},
      {"close_marker", Text(&CentralConfig::closeMarker)},
      {"key_row1", KeyOf(&CentralConfig::serviceKey, &CentralConfig::serviceKeyGiven)},
      {"key_row3", KeyOf(&CentralConfig::blacklistKey, &CentralConfig::blacklistKeyGiven)},
      {"test_keys",
       [](CentralConfig& c, const std::string& v) {
         if (v != "yes" && v != "no") return false;
         c.testKeys = v == "yes";
         return true;
       }},
      {"max_body_bytes",
       [](CentralConfig& c, const std::string& v) {
         const auto n = ParseDecimal(v);
         if (!n || *n < 1024) return false;
         c.maxBodyBytes = static_cast<std::size_t>(*n);
         return true;
       }},
      {"release_key", Text(&CentralConfig::releaseKeyFile)},
      {"connections_per_address", NumberOf(&CentralConfig::connectionsPerAddress, 1, 100000)},
      {"max_connections", NumberOf(&CentralConfig::maxConnections, 1, 100000)},
      {"request_seconds", NumberOf(&CentralConfig::requestSeconds, 1, 60)},
      {"max_workers", NumberOf(&CentralConfig::maxWorkers, 1, 100000)},
      {"max_notices", NumberOf(&CentralConfig::maxNotices, 100, 100000000)},
      {"retention_days", NumberOf(&CentralConfig::retentionDays, 1, 36500)},
      {"trusted_proxies",
       [](CentralConfig& c, const std::string& v) {
         std::vector<std::string> proxies;
         std::string spaced = v;
         std::replace(spaced.begin(), spaced.end(), ',', ' ');
         std::istringstream words(spaced);
         for (std::string word; words >> word;) {
           const std::optional<std::string> address = CanonicalAddress(word);
           if (!address) return false;
           proxies.push_back(*address);
         }
         c.trustedProxies = std::move(proxies);
         return true;
       }},
      {"collector_address", Text(&CentralConfig::collectorAddress)},
      {"collector_port", PortOf(&CentralConfig::collectorPort, true)},
      {"notices_per_second",
       [](CentralConfig& c, const std::string& v) {
         const auto n = ParseDecimal(v);
         if (!n || *n < 1) return false;
         c.noticesPerSecond = *n;
         return true;
       }},
      {"status_address", Text(&CentralConfig::statusAddress)},
      {"status_port", PortOf(&CentralConfig::statusPort, true)},
      {"time_zone",
       [](CentralConfig& c, const std::string& v) {
         if (!IsZoneName(v)) return false;
         c.timeZone = v;
         return true;
       }},
  };
  return setters;
}

CentralConfig CompiledDefaults() {
  CentralConfig c;
  // The assistant of this tree was built with this base address.
  ApplyServiceBase(c, TOLLIMER_SERVICE_BASE);
  return c;
}

}  // namespace

ConfigResult ParseCentralConfig(const std::string& text) {
  CentralConfig config = CompiledDefaults();
  ConfigResult result;
  int lineNumber = 0;
  // A byte-order mark, as Windows editors write one, is not part of the first name.
  std::size_t begin = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (begin <= text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(begin, end - begin));
    begin = end + 1;
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      result.errors.push_back(Format("line %d: no \"=\"", lineNumber));
      continue;
    }
    const std::string name = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    const auto setter = Setters().find(name);
    if (name.compare(0, 8, "webhook.") == 0) {
      if (!ApplyWebhookSetting(config.webhooks, name, value)) {
        result.errors.push_back(Format("line %d: bad webhook line %s", lineNumber, name.c_str()));
      }
    } else if (setter == Setters().end()) {
      result.errors.push_back(Format("line %d: unknown name %s", lineNumber, name.c_str()));
    } else if (!setter->second(config, value)) {
      result.errors.push_back(Format("line %d: bad value for %s", lineNumber, name.c_str()));
    }
  }
  if (config.openMarker == config.closeMarker) result.errors.push_back("the two markers are equal");
  if (config.downloadPrefix == config.signaturePrefix && config.downloadSuffix == config.signatureSuffix) {
    result.errors.push_back("download_format and signature_format are equal");
  }
  for (const std::string& e : CheckWebhookTargets(config.webhooks)) result.errors.push_back(e);
  if (result.errors.empty()) result.config = config;
  return result;
}

bool IsTestKeyRow(const TEnvelopeKey& key) {
  static const char* const kTestRows[] = {TOLLIMER_TEST_DES_ROW0, TOLLIMER_TEST_DES_ROW1, TOLLIMER_TEST_DES_ROW2,
                                          TOLLIMER_TEST_DES_ROW3};
  for (const char* row : kTestRows) {
    if (SameKey(*KeyRow(row), key)) return true;
  }
  return false;
}

std::vector<std::string> ServeKeyRefusals(const CentralConfig& c) {
  std::vector<std::string> refusals;
  if (c.testKeys) return refusals;
  const struct {
    const char* line;
    bool given;
    const TEnvelopeKey& key;
  } rows[] = {{"key_row1", c.serviceKeyGiven, c.serviceKey}, {"key_row3", c.blacklistKeyGiven, c.blacklistKey}};
  for (const auto& row : rows) {
    if (!row.given) {
      refusals.push_back(Format("%s is not set: fill the line \"%s = <32 hex digits>\" with the chain's row, "
                                "the one its assistants were built with",
                                row.line, row.line));
    } else if (IsTestKeyRow(row.key)) {
      refusals.push_back(Format("%s is a row of the test build, known to everyone: fill the line \"%s = ...\" "
                                "with the chain's own row, the one its assistants were built with",
                                row.line, row.line));
    }
  }
  return refusals;
}

std::string DescribeCentralConfig(const CentralConfig& c) {
  std::string out;
  auto line = [&out](const char* name, const std::string& value) {
    out += Format("%s = %s\n", name, value.c_str());
  };
  line("data_dir", c.dataDir);
  line("http_address", c.httpAddress);
  line("http_port", std::to_string(c.httpPort));
  out += "# path of the base address (service_base sets it with the port): " + c.basePath + "\n";
  line("update_path", c.updatePath);
  line("download_format", c.downloadPrefix + "%s" + c.downloadSuffix);
  line("signature_format", c.signaturePrefix + "%s" + c.signatureSuffix);
  line("blacklist_path", c.blacklistPath);
  line("report_path", c.reportPath);
  line("about_path", c.aboutPath);
  line("open_marker", c.openMarker);
  line("close_marker", c.closeMarker);
  line("key_row1", KeyRowText(c.serviceKey));
  line("key_row3", KeyRowText(c.blacklistKey));
  if (c.testKeys) line("test_keys", "yes");
  line("max_body_bytes", std::to_string(c.maxBodyBytes));
  if (c.releaseKeyFile.empty()) {
    out += "# release_key: " + c.dataDir + "/release-key.pem when it exists (tollimer-central keygen)\n";
  } else {
    line("release_key", c.releaseKeyFile);
  }
  line("connections_per_address", std::to_string(c.connectionsPerAddress));
  line("max_connections", std::to_string(c.maxConnections));
  line("request_seconds", std::to_string(c.requestSeconds));
  line("max_workers", std::to_string(c.maxWorkers));
  {
    std::string proxies;
    for (const std::string& p : c.trustedProxies) proxies += (proxies.empty() ? "" : " ") + p;
    if (proxies.empty()) {
      out += "# trusted_proxies: none (every client's own address counts; X-Forwarded-For is ignored)\n";
    } else {
      line("trusted_proxies", proxies);
    }
  }
  line("collector_address", c.collectorAddress);
  line("collector_port", c.collectorPort < 0 ? "off" : std::to_string(c.collectorPort));
  line("notices_per_second", std::to_string(c.noticesPerSecond));
  line("max_notices", std::to_string(c.maxNotices));
  line("retention_days", std::to_string(c.retentionDays));
  line("status_address", c.statusAddress);
  line("status_port", c.statusPort < 0 ? "off" : std::to_string(c.statusPort));
  line("time_zone", c.timeZone);
  return out + DescribeWebhookTargets(c.webhooks);
}
