#include "net/url.h"

#include <cstddef>

#include "crypto/codepage.h"
#include "util/text.h"

namespace {

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
  std::size_t n = std::char_traits<char>::length(prefix);
  return text.size() >= n && SameTextAscii(std::string_view(text).substr(0, n), prefix);
}

}  // namespace

bool IsHttpsUrl(const std::string& url) { return StartsWithIgnoringCase(url, "HTTPS://"); }

int SplitUrl(const std::string& url, std::string& host, std::string& path, std::string& query) {
  int port = 0;
  std::string rest = url;
  if (StartsWithIgnoringCase(rest, "HTTP://")) {
    rest.erase(0, 7);
    port = 80;
  } else if (StartsWithIgnoringCase(rest, "HTTPS://")) {
    rest.erase(0, 8);
    port = 443;
  }

  path.clear();
  query.clear();
  std::size_t slash = rest.find('/');
  if (slash == std::string::npos) {
    host = rest;
  } else {
    // The host keeps its "/" until the port is cut out: "host:8080/" loses
    // ":8080" and then the slash, exactly as a port of fewer digits does.
    host = rest.substr(0, slash + 1);
    std::string remainder = rest.substr(slash + 1);
    std::size_t mark = remainder.find('?');
    if (mark == std::string::npos) {
      path = remainder;
    } else {
      path = remainder.substr(0, mark);
      query = remainder.substr(mark + 1);
    }
  }

  std::size_t colon = host.find(':');
  if (colon != std::string::npos) {
    // At most five characters after the colon belong to the port; its value is
    // their leading decimal digits (none give 0).
    std::string portText = host.substr(colon + 1, 5);
    port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9') break;
      port = port * 10 + (c - '0');
    }
    host.erase(colon, 1 + portText.size());
  }
  if (!host.empty() && host.back() == '/') host.pop_back();
  return port;
}

std::string RequestTargetText(const std::string& target) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (char c : target) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F || b == '#' || b == '"' || b == '<' || b == '>') {
      out.push_back('%');
      out.push_back(kDigits[b >> 4]);
      out.push_back(kDigits[b & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string UrlEncode(const std::string& text, bool asUtf8) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::string bytes = asUtf8 ? Ansi_ToUtf8(text) : text;
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= ':') ||
                 b == '-' || b == '.' || b == '/' || b == '_';
    if (b == ' ') {
      out += "%20";
    } else if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kDigits[b >> 4]);
      out.push_back(kDigits[b & 15]);
    }
  }
  return out;
}
