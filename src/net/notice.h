// SendNotice: announces a blacklist hit to the cafe's collector with one UDP
// datagram, fire-and-forget: nothing is awaited, retried, logged or shown.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::uint16_t kNoticePort = 8888;

// Sends the eight bytes 7F 3F 80 5F 4D 53 47 7C ("_MSG|" at the end) followed
// by `text` (GBK bytes, as they are) to the collector (an enciphered literal)
// on UDP 8888. Windows Sockets must already be started. Silent on every
// failure.
void SendNotice(const std::string& text);

// The same datagram to a dotted IPv4 address and port of the caller's choice.
void SendNotice(const std::string& text, const std::string& ipv4, std::uint16_t port);

// False in a chain's build that switched the notice off (its https report of
// the hit carries the same facts, and the datagram would carry the ID number
// in clear): the hit then sends none.
bool HitNoticeEnabled();

// The eight bytes every notice datagram starts with; the collector of the
// central service checks them.
inline constexpr std::string_view kNoticePrefix{"\x7F\x3F\x80\x5F\x4D\x53\x47\x7C", 8};
