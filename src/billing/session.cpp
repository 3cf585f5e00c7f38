#include "billing/session.h"

#include <cstring>
#include <exception>
#include <vector>

#include "crypto/md5.h"
#include "log/activity_log.h"
#include "platform/clock.h"
#include "util/text.h"

namespace {

constexpr char kMagic[6] = {'X', 'X', 'L', 'D', 'K', 'S'};

void PutU16(unsigned char* at, std::uint32_t v) {
  at[0] = static_cast<unsigned char>(v & 0xFF);
  at[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

void PutI32(unsigned char* at, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

std::int32_t GetI32(const unsigned char* at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
  return static_cast<std::int32_t>(v);
}

// Field offsets inside TCmdPacket.
constexpr std::size_t kCmdOffset = offsetof(TCmdPacket, Cmd);
constexpr std::size_t kDataLenOffset = offsetof(TCmdPacket, DataLen);
constexpr std::size_t kTokenOffset = offsetof(TCmdPacket, Token);
constexpr std::size_t kDataOffset = offsetof(TCmdPacket, Data);
static_assert(kCmdOffset == 6 && kDataLenOffset == 8 && kTokenOffset == 12 && kDataOffset == 28);

// The send time as 17 digits: year, month, day, hour, minute, second, ms.
std::string TokenTime(const LocalTime& t) {
  return Format("%04d%02d%02d%02d%02d%02d%03d", t.year, t.month, t.day, t.hour, t.minute, t.second,
                t.millisecond);
}

// The first six bytes of a reply, as the text a message shows (up to a NUL).
std::string MagicText(const unsigned char* buffer, int received) {
  std::size_t n = received < 6 ? static_cast<std::size_t>(received > 0 ? received : 0) : 6;
  std::string text(reinterpret_cast<const char*>(buffer), n);
  std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

std::string Cmd_Name(int cmd) {
  if (cmd == kCmdGetInfo) return "GetInfo";
  if (cmd == kCmdRevInfo) return "RevInfo";
  return Format("Other:%X", static_cast<unsigned>(cmd));
}

bool Close_Socket(Socket& socket) { return socket.CloseAbortive(); }

int Open_Session(const std::string& address, int timeoutMs, std::uint16_t port, Socket& socket,
                 std::string& msg) {
  if (timeoutMs < 0) timeoutMs = 0;
  // Probe: does anything accept connections there within the time-out?
  {
    Socket probe = Socket::Tcp();
    if (!probe.IsValid()) {
      msg = "初始化网络失败";
      return kProbeCreateFailed;
    }
    if (probe.SetNonBlocking(true) != 0) {
      msg = "非阻塞失败";
      return kProbeNonBlockFailed;
    }
    // A text that is not a dotted IPv4 address fails here at once, and a
    // refused port as soon as the refusal arrives; only a silent host costs
    // the whole wait. The extra millisecond matches the probe's historic
    // wait of T div 1000 seconds plus 1000 microseconds for whole seconds.
    if (probe.ConnectWithin(address, port, timeoutMs + 1) != 0) {
      msg = Format("连接主机超时%s:%d", address.c_str(), port);
      return kProbeTimedOut;
    }
  }  // the probe has served its purpose and is closed here

  socket = Socket::Tcp();
  if (!socket.IsValid()) {
    msg = "初始化网络失败";
    return kSessionCreateFailed;
  }
  if (socket.SetSendTimeout(timeoutMs) != 0) {
    socket.Close();
    msg = "设置发送超时失败";
    return kTimeoutOptionFailed;
  }
  if (socket.SetReceiveTimeout(2 * timeoutMs) != 0) {
    socket.Close();
    msg = "设置接收超时失败";
    return kTimeoutOptionFailed;
  }
  // With the send time-out set, the connect is bounded by it too: a server
  // that vanished after the probe cannot hold start-up indefinitely.
  if (socket.Connect(address, port) != 0) {
    socket.Close();
    msg = Format("连接计费失败%s:%d", address.c_str(), port);
    return kSessionConnectFailed;
  }
  return kSessionOk;
}

int Send_Cmd(int cmd, const std::string& arg, std::string& msg, Socket& socket, Clock& clock,
             ActivityLog& log) {
  int result = 0;
  try {
    const std::string name = Cmd_Name(cmd);
    std::vector<unsigned char> sendBuffer(kPacketBufferSize, 0);
    std::vector<unsigned char> receiveBuffer(kPacketBufferSize, 0);

    const TMD5Digest token = MD5_Digest(TokenTime(clock.Now()).data(), 17);
    const std::size_t dataLen = arg.size() < kPacketDataSize ? arg.size() : kPacketDataSize;
    std::memcpy(sendBuffer.data(), kMagic, sizeof(kMagic));
    PutU16(&sendBuffer[kCmdOffset], static_cast<std::uint32_t>(cmd) & 0xFFFF);
    PutI32(&sendBuffer[kDataLenOffset], static_cast<std::int32_t>(dataLen));
    std::memcpy(&sendBuffer[kTokenOffset], token.data(), token.size());
    if (dataLen > 0) std::memcpy(&sendBuffer[kDataOffset], arg.data(), dataLen);

    // Some servers greet a new connection with a packet of their own; read
    // it out of the way first. A silent server costs the receive time-out.
    int greeting = socket.Receive(receiveBuffer.data(), receiveBuffer.size());
    log.WriteLog(Format("rev1=%d,Len=%d", greeting, GetI32(&receiveBuffer[kDataLenOffset])));

    if (socket.Send(sendBuffer.data(), kPacketHeaderSize + dataLen) < 0) {
      int error = Socket::LastError();
      Close_Socket(socket);
      result = kSendFailed;
      msg = Format("发送%s请求失败:%d", name.c_str(), error);
      return result;
    }

    // The reply must come in one piece; the buffer is cleared first so that
    // nothing of the greeting can pass for part of it.
    std::memset(receiveBuffer.data(), 0, receiveBuffer.size());
    int received = socket.Receive(receiveBuffer.data(), receiveBuffer.size());
    if (received <= 0) {
      // 0 bytes: the server closed the connection instead of replying.
      int error = received == 0 ? kPeerClosedError : Socket::LastError();
      Close_Socket(socket);
      result = kReceiveFailed;
      msg = Format("接收%s数据失败:%d", name.c_str(), error);
      return result;
    }
    if (received < 6 || std::memcmp(receiveBuffer.data(), kMagic, sizeof(kMagic)) != 0) {
      Close_Socket(socket);
      result = kBadMagic;
      msg = Format("接收%s数据异常:%s", name.c_str(), MagicText(receiveBuffer.data(), received).c_str());
      return result;
    }
    // DataLen must be at least 1 and must not claim more than arrived or than
    // the payload area holds; a short header reads as DataLen 0 (cleared).
    const std::int32_t replyLen = GetI32(&receiveBuffer[kDataLenOffset]);
    const std::int64_t payloadReceived =
        static_cast<std::int64_t>(received) - static_cast<std::int64_t>(kPacketHeaderSize);
    if (replyLen < 1 || replyLen > payloadReceived ||
        replyLen > static_cast<std::int64_t>(kPacketDataSize)) {
      Close_Socket(socket);
      result = kBadDataLen;
      msg = Format("接收%s数据:%d", name.c_str(), replyLen);
      return result;
    }
    msg.assign(reinterpret_cast<const char*>(&receiveBuffer[kDataOffset]),
               static_cast<std::size_t>(replyLen));
    return kSessionOk;
  } catch (const std::exception& e) {
    log.WriteLog(Format("#Send_Cmd:0 / %d ", Socket::LastError()) + e.what() + "\r\nOutmsg=" + msg);
    Close_Socket(socket);
    return result;
  }
}
