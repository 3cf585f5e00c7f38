// The billing server's side of the session: its reply packet read by Send_Cmd
// over a real loopback connection, and the GetInfo reply's name=value lines.
#include <cstring>
#include <string>

#include "billing/bar_identity.h"
#include "billing/session.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fuzz_targets.h"
#include "log/activity_log.h"
#include "loopback_peer.h"
#include "net/socket.h"

int FuzzBillingReply(const std::uint8_t* data, std::size_t size) {
  if (size > kPacketBufferSize) return 0;  // one receive takes at most a packet
  std::string greeting(kPacketHeaderSize, '\0');
  std::memcpy(greeting.data(), "XXLDKS", 6);
  LoopbackPeer peer(greeting, [](const std::string& request) { return request.size() >= kPacketHeaderSize; },
                    std::string(reinterpret_cast<const char*>(data), size));
  Socket socket = Socket::Tcp();
  if (socket.SetReceiveTimeout(2000) != 0 || socket.SetSendTimeout(2000) != 0 ||
      socket.Connect("127.0.0.1", peer.Port()) != 0) {
    return 0;
  }
  FakeClock clock;
  FakeFiles files;
  ActivityLog log(files, clock);
  std::string msg;
  const int result = Send_Cmd(1, "", msg, socket, clock, log);
  if (result == kSessionOk) {
    if (msg.empty() || msg.size() > kPacketDataSize || msg.size() + kPacketHeaderSize > size) {
      FuzzFail("accepted a reply with a payload it does not hold");
    }
    (void)ParseGetInfoReply(msg);
  }
  return 0;
}

int FuzzGetInfoReply(const std::uint8_t* data, std::size_t size) {
  const GetInfoReply reply = ParseGetInfoReply(std::string(reinterpret_cast<const char*>(data), size));
  if (reply.number.size() > size || reply.clientName.size() > size) FuzzFail("value longer than the reply");
  return 0;
}
