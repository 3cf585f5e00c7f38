// The short TCP session with the billing server: a reachability probe, one
// connection with send and receive time-outs, one TCmdPacket each way, and an
// abortive close. The bar-identity query (billing/bar_identity.h) is its only
// user. Failures are five-digit result codes with a message text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/socket.h"

class ActivityLog;
class Clock;

// The billing server's port.
constexpr std::uint16_t kBillingPort = 2985;

// Command codes.
constexpr int kCmdGetInfo = 833;
constexpr int kCmdRevInfo = 165;

// Session result codes.
constexpr int kSessionOk = 40000;            // message: the reply's Data
constexpr int kNoHostIP = 45000;             // "NoHostIP" (set by Login)
constexpr int kProbeCreateFailed = 45001;    // "初始化网络失败"
constexpr int kProbeNonBlockFailed = 45201;  // "非阻塞失败"
constexpr int kProbeTimedOut = 45204;        // "连接主机超时%s:%d"
constexpr int kSessionCreateFailed = 45301;  // "初始化网络失败"
constexpr int kTimeoutOptionFailed = 45002;  // "设置发送超时失败" / "设置接收超时失败"
constexpr int kSessionConnectFailed = 45004; // "连接计费失败%s:%d"
constexpr int kSendFailed = 53205;           // "发送%s请求失败:%d"
constexpr int kReceiveFailed = 53206;        // "接收%s数据失败:%d"
// The reply does not start with "XXLDKS" (or is shorter than that).
constexpr int kBadMagic = 53207;             // "接收%s数据异常:%s"
// DataLen below 1, beyond the bytes received, or beyond the payload area.
constexpr int kBadDataLen = 53200;           // "接收%s数据:%d"

// Socket error reported with 53206 when the server closed the connection
// instead of replying (WSAEDISCON: the peer began a graceful shutdown).
constexpr int kPeerClosedError = 10101;

// The packet in both directions, little-endian, no padding: a 28-byte header
// and a payload area of 32 769 bytes. On the wire a packet is the header plus
// DataLen bytes of Data.
#pragma pack(push, 1)
struct TCmdPacket {
  char Magic[6];               // "XXLDKS", no terminator
  std::uint16_t Cmd;           // command code
  std::int32_t DataLen;        // payload length in bytes
  std::uint8_t Token[16];      // MD5 of the 17-digit send time
  char Data[32769];            // ANSI text, no terminator
};
#pragma pack(pop)

constexpr std::size_t kPacketHeaderSize = 28;
constexpr std::size_t kPacketDataSize = 32769;
constexpr std::size_t kPacketBufferSize = kPacketHeaderSize + kPacketDataSize;  // 32 797
static_assert(sizeof(TCmdPacket) == kPacketBufferSize, "TCmdPacket must have no padding");

// "GetInfo", "RevInfo", or "Other:%X" for any other code.
std::string Cmd_Name(int cmd);

// Abortive close (the connection is reset, not shut down gracefully). True
// when the close call succeeded; false for a socket that is already closed, so
// closing twice is harmless.
bool Close_Socket(Socket& socket);

// The connection sequence: probe `address` (dotted IPv4 text) on `port`
// within `timeoutMs` milliseconds, then open the session socket with a send
// time-out of timeoutMs and a receive time-out of 2 x timeoutMs. On success
// returns kSessionOk with `socket` connected and `msg` untouched; otherwise
// the result code with its message in `msg` and `socket` closed.
[[nodiscard]] int Open_Session(const std::string& address, int timeoutMs, std::uint16_t port,
                               Socket& socket, std::string& msg);

// One exchange on a connected socket: reads (and logs) a greeting, sends one
// request with `cmd` and the argument text, reads one reply. On kSessionOk
// `msg` holds the reply's Data and the socket stays open; on any other code the
// socket has been closed and `msg` holds the error text. `clock` gives the send
// time for the token; "rev1=%d,Len=%d" and unexpected failures go to `log`.
[[nodiscard]] int Send_Cmd(int cmd, const std::string& arg, std::string& msg, Socket& socket,
                           Clock& clock, ActivityLog& log);

