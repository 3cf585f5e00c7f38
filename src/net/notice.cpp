#include "net/notice.h"

#include "net/socket.h"
#include "util/literal_table.h"

void SendNotice(const std::string& text) {
  SendNotice(text, Literal(lit::kCollectorAddress), kNoticePort);
}

void SendNotice(const std::string& text, const std::string& ipv4, std::uint16_t port) {
  try {
    // The socket object closes itself on every way out of this function.
    Socket socket = Socket::Udp();
    if (!socket.IsValid()) return;
    std::string payload(kNoticePrefix);
    payload += text;
    // A failed send (no route, an address that is not dotted IPv4, a payload
    // too large for one datagram) is not reported: the alert goes on without it.
    (void)socket.SendTo(payload.data(), payload.size(), ipv4, port);
  } catch (...) {
  }
}

bool HitNoticeEnabled() { return TOLLIMER_HIT_NOTICE != 0; }
