#include "central/http/forwarded_client.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool NameIs(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

// The value of the last X-Forwarded-For line of the head: a proxy adds its
// own line or appends to the last one, so the last line holds its word.
std::optional<std::string_view> LastForwardedFor(std::string_view head) {
  constexpr std::string_view kName = "X-Forwarded-For";
  std::optional<std::string_view> found;
  std::size_t begin = head.find('\n');  // after the request line
  while (begin != std::string_view::npos && begin + 1 < head.size()) {
    ++begin;
    const std::size_t end = head.find('\n', begin);
    const std::string_view line = head.substr(begin, end == std::string_view::npos ? head.npos : end - begin);
    if (Trimmed(line).empty()) break;  // the head's end
    if (NameIs(line, kName)) found = line.substr(kName.size() + 1);
    begin = end;
  }
  return found;
}

}  // namespace

std::optional<std::string> CanonicalAddress(std::string_view text) {
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string plain(text);
  char out[INET6_ADDRSTRLEN] = {};
  in_addr v4{};
  if (inet_pton(AF_INET, plain.c_str(), &v4) == 1 && inet_ntop(AF_INET, &v4, out, sizeof out)) return out;
  in6_addr v6{};
  if (inet_pton(AF_INET6, plain.c_str(), &v6) == 1 && inet_ntop(AF_INET6, &v6, out, sizeof out)) return out;
  return std::nullopt;
}

bool IsTrustedProxy(const std::string& peer, const std::vector<std::string>& proxies) {
  return std::find(proxies.begin(), proxies.end(), peer) != proxies.end();
}

std::string ForwardedClient(std::string_view head, const std::string& peer, const std::vector<std::string>& proxies) {
  if (!IsTrustedProxy(peer, proxies)) return peer;
  const std::optional<std::string_view> value = LastForwardedFor(head);
  if (!value) return peer;
  const std::size_t comma = value->rfind(',');
  const std::string_view last = Trimmed(comma == std::string_view::npos ? *value : value->substr(comma + 1));
  return CanonicalAddress(last).value_or(peer);
}
