// The billing-server session against a real loopback server: what reaches the
// wire, and the result code and message for every way the server can answer.
#include "billing/session.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_billing_server.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "log/activity_log.h"
#include "util/text.h"

namespace {

// Short time-outs keep the silent cases quick: receive time-out 2 x 250 ms.
constexpr int kTimeoutMs = 250;

struct LogSink {
  FakeFiles files;
  FakeClock clock;  // 2024-03-07 09:05:03.045
  ActivityLog log{files, clock};
  LogSink() {
    files.folders.insert("C:\\prog\\LOGS\\");
    log.SetSwitch(true, "C:\\prog\\");
  }
  std::string Text() { return files.files["C:\\prog\\LOGS\\2024-03-07.TXT"]; }
};

// Login's use of the session: open, one exchange, close.
int RunGetInfo(const std::string& address, std::uint16_t port, std::string& msg, LogSink& sink,
               const std::string& arg = "") {
  Socket socket;
  int result = Open_Session(address, kTimeoutMs, port, socket, msg);
  if (result != kSessionOk) {
    EXPECT_FALSE(socket.IsValid());
    return result;
  }
  result = Send_Cmd(kCmdGetInfo, arg, msg, socket, sink.clock, sink.log);
  EXPECT_EQ(socket.IsValid(), result == kSessionOk);
  Close_Socket(socket);
  EXPECT_FALSE(socket.IsValid());
  return result;
}

TEST(Session, ResultForEveryKindOfServerBehaviour) {
  using R = FakeBillingServer::Reply;
  struct Case {
    const char* name;
    R reply;
    bool greet;
    const char* replyText;
    int code;
    std::string msg;  // "%d" is the server's port
    const char* greetingLine;
  };
  const Case cases[] = {
      {"greets, answers well", R::Good, true, "Number=123456\r\nClientName=abc", kSessionOk,
       "Number=123456\r\nClientName=abc", "rev1=32,Len=4"},
      {"silent first, five bytes", R::Good, false, "abcde", kSessionOk, "abcde",
       "rev1=-1,Len=0"},
      {"never answers", R::Silent, false, "", kReceiveFailed, "接收GetInfo数据失败:10060",
       "rev1=-1,Len=0"},
      {"wrong magic", R::WrongMagic, true, "", kBadMagic, "接收GetInfo数据异常:ABCDEF",
       "rev1=32,Len=4"},
      {"DataLen 0", R::DataLenZero, false, "", kBadDataLen, "接收GetInfo数据:0", nullptr},
      {"DataLen beyond the bytes sent", R::DataLenTooLarge, false, "", kBadDataLen,
       "接收GetInfo数据:100", nullptr},
      {"DataLen beyond the payload area", R::DataLenAboveArea, false, "", kBadDataLen,
       "接收GetInfo数据:40000", nullptr},
      // The greeting's header must not pass for the reply's.
      {"magic alone", R::ShortHeader, true, "", kBadDataLen, "接收GetInfo数据:0", nullptr},
      {"closes instead of answering", R::Close, false, "", kReceiveFailed,
       "接收GetInfo数据失败:10101", nullptr},
      {"takes the probe, not the session", R::RefuseSession, false, "", kSessionConnectFailed,
       "连接计费失败127.0.0.1:%d", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBillingServer server(c.reply, c.greet, c.replyText);
    LogSink sink;
    std::string msg;
    EXPECT_EQ(RunGetInfo("127.0.0.1", server.port(), msg, sink), c.code);
    EXPECT_EQ(msg, Format(c.msg.c_str(), server.port()));
    if (c.greetingLine) {
      EXPECT_NE(sink.Text().find(c.greetingLine), std::string::npos) << sink.Text();
    }
  }
}

TEST(Session, ProbeFailuresEndWithTheHostTimeOutMessage) {
  const std::uint16_t closedPort = [] {
    FakeBillingServer gone(FakeBillingServer::Reply::Good);
    return gone.port();
  }();
  struct Case {
    const char* address;
  };
  const Case cases[] = {{"127.0.0.1"}, {"localhost"}, {"127.0.0.1 "}, {""}, {"300.1.1.1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    LogSink sink;
    std::string msg;
    EXPECT_EQ(RunGetInfo(c.address, closedPort, msg, sink), kProbeTimedOut);
    EXPECT_EQ(msg, Format("连接主机超时%s:%d", c.address, closedPort));
  }
}

TEST(Session, RequestOnTheWire) {
  FakeBillingServer server(FakeBillingServer::Reply::Good, false, "ok");
  LogSink sink;
  std::string msg;
  ASSERT_EQ(RunGetInfo("127.0.0.1", server.port(), msg, sink), kSessionOk);
  ASSERT_EQ(RunGetInfo("127.0.0.1", server.port(), msg, sink, "Bar=1"), kSessionOk);

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  // The header alone for an empty argument; the argument follows otherwise.
  EXPECT_EQ(requests[0].cmd, 833);
  EXPECT_EQ(requests[0].dataLen, 0);
  EXPECT_EQ(requests[0].bytes, 28u);
  EXPECT_EQ(requests[1].dataLen, 5);
  EXPECT_EQ(requests[1].bytes, 33u);
  // Token: MD5 of the send time "20240307090503045".
  const std::uint8_t expected[16] = {0x9b, 0xa6, 0xf6, 0x04, 0x35, 0x2f, 0xde, 0xf3,
                                     0xc3, 0x6d, 0x5c, 0x59, 0x46, 0x4e, 0xc5, 0x8b};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(requests[0].token[i], expected[i]) << i;
}

TEST(Session, CommandNames) {
  struct Case {
    int cmd;
    const char* name;
  };
  const Case cases[] = {
      {833, "GetInfo"}, {165, "RevInfo"}, {0x1234, "Other:1234"}, {0xabc, "Other:ABC"}, {0, "Other:0"}};
  for (const Case& c : cases) EXPECT_EQ(Cmd_Name(c.cmd), c.name) << c.cmd;
}

TEST(Session, CloseSocketClosesOnce) {
  FakeBillingServer server(FakeBillingServer::Reply::Good, false, "ok");
  Socket socket = Socket::Tcp();
  ASSERT_EQ(socket.Connect("127.0.0.1", server.port()), 0);
  EXPECT_TRUE(Close_Socket(socket));
  EXPECT_FALSE(Close_Socket(socket));
}

}  // namespace
