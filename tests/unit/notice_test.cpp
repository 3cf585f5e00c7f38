#include "net/notice.h"

#include <gtest/gtest.h>

#include "fakes/udp_collector.h"

namespace {

const std::string kPrefix("\x7F\x3F\x80\x5F\x4D\x53\x47\x7C", 8);

TEST(SendNotice, SendsThePrefixAndTheGbkTextAsOneDatagram) {
  struct Case {
    std::string text;
    std::string bytesAfterPrefix;
  };
  // Narrow literals are GBK: the bar name travels as CD F8 B0 C9.
  const Case cases[] = {
      {"", ""},
      {"Bid=1001,BarName=网吧,BlackID=110101199003071234",
       "Bid=1001,BarName=\xCD\xF8\xB0\xC9,BlackID=110101199003071234"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  UdpCollector collector;
  for (const Case& c : cases) {
    SendNotice(c.text, "127.0.0.1", collector.Port());
    EXPECT_EQ(collector.Receive(2000), kPrefix + c.bytesAfterPrefix);
  }
  EXPECT_EQ(collector.Receive(50), std::nullopt);
}

TEST(SendNotice, GoesToTheConfiguredCollectorOnPort8888) {
  // The test build's collector address is 127.0.0.1.
  std::optional<UdpCollector> collector;
  try {
    collector.emplace(kNoticePort);
  } catch (const std::exception&) {
    GTEST_SKIP() << "UDP port 8888 on 127.0.0.1 is taken";
  }
  SendNotice("Bid=123456,BarName=@网吧,BlackID=x");
  EXPECT_EQ(collector->Receive(2000), kPrefix + "Bid=123456,BarName=@\xCD\xF8\xB0\xC9,BlackID=x");
}

TEST(SendNotice, GivesUpSilentlyWhenTheDatagramCannotGo) {
  UdpCollector collector;
  // An address that is not dotted IPv4, and a text too large for one datagram.
  SendNotice("x", "collector.local", collector.Port());
  SendNotice("x", "", collector.Port());
  SendNotice(std::string(70000, 'x'), "127.0.0.1", collector.Port());
  // A port where nothing listens any more.
  std::uint16_t deadPort = 0;
  {
    UdpCollector gone;
    deadPort = gone.Port();
  }
  SendNotice("x", "127.0.0.1", deadPort);
  EXPECT_EQ(collector.Receive(200), std::nullopt);
}

}  // namespace
