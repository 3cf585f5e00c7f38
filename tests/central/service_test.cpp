// Every exchange an assistant makes, over loopback against a running
// service, and the refusals of what an assistant would never send.
#include "central/service.h"
#include "crypto/release_statement.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <fstream>

#include "central/base/clock.h"
#include "central/exchange/blacklist_import.h"
#include "central/release/release_file.h"
#include "central/release/release_key.h"
#include "crypto/codepage.h"
#include "crypto/envelope.h"
#include "fakes/gbk_samples.h"
#include "net/notice.h"
#include "net/socket.h"
#include "central/command_client.h"
#include "central/service_client.h"
#include "central/status/status_view.h"
#include "util/text.h"

extern char** environ;

namespace {

const std::string kUpdate = "/tollimer/update/";

std::string AddRelease(RunningCentral& central, unsigned machine, const std::string& filler) {
  std::string error;
  const auto info = AddReleaseFile(central.config, *central.store, FakeExecutable(machine, filler), 100, "", error);
  EXPECT_TRUE(info) << error;
  return info ? info->crc : "";
}

// The downloader's request, byte for byte, optionally continuing at `from`.
std::string DownloaderRequest(const std::string& path, long long from = 0) {
  std::string request = "GET " + path + " HTTP/1.1\r\nAccept: */*\r\nPragma: no-cache\r\nHost: 127.0.0.1\r\n";
  if (from > 0) request += "RANGE: bytes=" + std::to_string(from) + "-\r\n";
  return request + "User-Agent:FlowKite\r\nConnection: Close\r\nCache-Control: no-cache\r\n\r\n";
}

TEST(CentralService, TheExchangeRecordsTheInstallationAndAnswersItsParameters) {
  RunningCentral central("central_service_exchange");
  ASSERT_TRUE(central.store->SetParam("", "interval", "30"));
  ASSERT_TRUE(central.store->SetParam("", "delay", "300"));
  ASSERT_TRUE(central.store->SetParam("3301", "delay", "450"));
  const std::string release = AddRelease(central, 0x14C, "v2");

  const RawReply reply = HttpPost(central.HttpPort(), kUpdate + "?t=1",
                                  SealAsAssistant(AssistantReport("00E04C6A1B2C", "WD-9", "0BADF00D", "3301",
                                                                  "星空网吧")));
  ASSERT_EQ(reply.status, 200);
  const auto payload = OpenAsAssistant(reply.body);
  ASSERT_TRUE(payload) << reply.body;
  EXPECT_EQ(PayloadValue(*payload, "interval"), "30");
  EXPECT_EQ(PayloadValue(*payload, "delay"), "450");  // the bar's own value
  EXPECT_EQ(PayloadValue(*payload, "crclist"), release);

  const auto installs = central.store->Installs();
  ASSERT_EQ(installs.size(), 1u);
  const InstallReport& r = installs[0].report;
  EXPECT_EQ(r.barName, Utf8(u8"星空网吧"));
  EXPECT_EQ(r.mac, "00E04C6A1B2C");
  EXPECT_EQ(r.diskSerial, "WD-9");
  EXPECT_EQ(r.versionCrc, "0BADF00D");
  EXPECT_EQ(r.featureBits, 15);
  EXPECT_EQ(r.monitors, 2);
  EXPECT_EQ(installs[0].kind, 1);
  EXPECT_EQ(installs[0].address, "127.0.0.1");
}

TEST(CentralService, RefusesBadExchangesWithoutRecordingAnything) {
  RunningCentral central("central_service_refusals");
  std::string wrongKey;
  Des_Crypt(AssistantReport("M", "D", "C", "1", "x"), 1, 0, 1, true, wrongKey);
  struct Case {
    std::string request;
    int status;
  };
  const std::string body = SealAsAssistant(AssistantReport("M", "D", "C", "1", "x"));
  const Case cases[] = {
      {"POST " + kUpdate + "?t=1 HTTP/1.1\r\nContent-Length: 7\r\nConnection: close\r\n\r\ngarbage", 400},
      {"POST " + kUpdate + "?t=1 HTTP/1.1\r\nContent-Length: " + std::to_string(wrongKey.size()) +
           "\r\nConnection: close\r\n\r\n" + wrongKey,
       400},
      {"POST " + kUpdate + "?t=1 HTTP/1.1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 400},
      {"GET " + kUpdate + "?t=1 HTTP/1.1\r\nConnection: close\r\n\r\n", 405},
      // Larger than any report: refused before it is read whole.
      {"POST " + kUpdate + "?t=1 HTTP/1.1\r\nContent-Length: 50000000\r\nConnection: close\r\n\r\n" +
           std::string(1 << 20, 'A'),
       413},
      {"POST " + kUpdate + "?t=1 HTTP/1.1\r\nContent-Length: -5\r\nConnection: close\r\n\r\n" + body, 400},
      {"BREW /tollimer/update/ HTTP/1.1\r\nConnection: close\r\n\r\n", 400},
      {std::string(20000, 'G') + "\r\n\r\n", 414},
      // (The literal ends at its first NUL: a head that never ends.)
      {"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 tls hello\r\n\r\n", 408},
  };
  // Side by side: a request that never ends its head is dropped only at the
  // service's five-second request deadline.
  std::vector<RawReply> replies(std::size(cases));
  std::vector<std::thread> clients;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    clients.emplace_back([&, i] { replies[i] = RawHttp(central.HttpPort(), cases[i].request); });
  }
  for (std::thread& t : clients) t.join();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const RawReply& reply = replies[i];
    // Some refusals come as a status, some as a closed connection; none
    // carries a reply the assistant would take.
    if (reply.status != 0) {
      EXPECT_EQ(reply.status, c.status) << c.request.substr(0, 60);
    }
    EXPECT_FALSE(OpenAsAssistant(reply.body)) << c.request.substr(0, 60);
  }
  EXPECT_TRUE(central.store->Installs().empty());
  // And the service still answers.
  EXPECT_EQ(HttpPost(central.HttpPort(), kUpdate + "?t=2", body).status, 200);
}

TEST(CentralService, AServiceWithItsOwnKeyRefusesTheTestBuildsAssistant) {
  CentralConfig config;
  config.serviceKey = {{1, 2, 3, 4, 5, 6, 7, 8}, {8, 7, 6, 5, 4, 3, 2, 1}};
  RunningCentral central("central_service_ownkey", config);
  const RawReply reply =
      HttpPost(central.HttpPort(), kUpdate + "?t=1", SealAsAssistant(AssistantReport("M", "D", "C", "1", "x")));
  EXPECT_EQ(reply.status, 400);
  EXPECT_TRUE(central.store->Installs().empty());
}

TEST(CentralService, DownloadsTheReleaseWholeOrFromAnOffset) {
  RunningCentral central("central_service_download");
  const std::string x86 = FakeExecutable(0x14C, std::string(300000, 'x'));
  const std::string x64 = FakeExecutable(0x8664, std::string(200000, 'y'));
  std::string error;
  const auto v86 = AddReleaseFile(central.config, *central.store, x86, 100, "", error);
  const auto v64 = AddReleaseFile(central.config, *central.store, x64, 100, "", error);
  ASSERT_TRUE(v86 && v64);

  // An unknown (older) build gets the 32-bit release, which runs everywhere.
  RawReply whole = RawHttp(central.HttpPort(), DownloaderRequest(kUpdate + "file/0BADF00D.bin"));
  EXPECT_EQ(whole.head.compare(0, 13, "HTTP/1.1 200 "), 0) << whole.head;
  EXPECT_EQ(whole.body, x86);
  // A 64-bit build stays 64-bit.
  whole = RawHttp(central.HttpPort(), DownloaderRequest(kUpdate + "file/" + v64->crc + ".bin"));
  EXPECT_EQ(whole.body, x64);

  const RawReply tail = RawHttp(central.HttpPort(), DownloaderRequest(kUpdate + "file/0BADF00D.bin", 1000));
  EXPECT_EQ(tail.status, 206);
  EXPECT_NE(tail.head.find("Content-Range: bytes 1000-"), std::string::npos) << tail.head;
  EXPECT_EQ(tail.body, x86.substr(1000));

  const RawReply beyond =
      RawHttp(central.HttpPort(), DownloaderRequest(kUpdate + "file/0BADF00D.bin", 10'000'000));
  EXPECT_EQ(beyond.status, 416);

  // Closed ranges: within the release a part; ending past it, refused.
  struct Case {
    const char* range;
    int status;
    std::size_t bytes;
  } ranges[] = {{"bytes=10-19", 206, 10}, {"bytes=0-99999999", 416, 0}, {"bytes=299990-300200", 416, 0}};
  for (const Case& c : ranges) {
    const RawReply part = RawHttp(central.HttpPort(), "GET " + kUpdate + "file/0BADF00D.bin HTTP/1.1\r\nRange: " +
                                                          c.range + "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(part.status, c.status) << c.range;
    if (c.status == 206) {
      EXPECT_EQ(part.body, x86.substr(10, c.bytes)) << c.range;
    }
  }
}

// A client that waits for "100 Continue" before its body hears it once.
TEST(CentralService, AnExpectedContinueIsSaidOnce) {
  RunningCentral central("central_service_continue");
  const std::string body = SealAsAssistant(AssistantReport("00E04C6A1B2C", "WD-9", "0BADF00D", "3301", "bar"));
  const int fd = ConnectFrom(central.HttpPort(), "");
  ASSERT_GE(fd, 0);
  const std::string head = "POST " + kUpdate + "?t=1 HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(send(fd, head.data(), head.size(), MSG_NOSIGNAL), static_cast<ssize_t>(head.size()));
  SleepMs(200);
  ASSERT_EQ(send(fd, body.data(), body.size(), MSG_NOSIGNAL), static_cast<ssize_t>(body.size()));
  std::string reply;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  EXPECT_EQ(CountOccurrences(reply, "100 Continue"), 1) << reply.substr(0, 200);
  EXPECT_NE(reply.find("HTTP/1.1 200 OK"), std::string::npos) << reply.substr(0, 200);
}

TEST(CentralService, NothingOutsideTheReleaseFolderIsServed) {
  RunningCentral central("central_service_outside");
  const std::string crc = AddRelease(central, 0x14C, "v1");
  const std::string secret = central.dir.Write("secret.txt", "operator's secret");
  // A release file replaced by a link to somewhere else is not followed.
  std::filesystem::remove(central.dir.Path("releases/" + crc + ".bin"));
  std::filesystem::create_symlink(secret, central.dir.Path("releases/" + crc + ".bin"));
  const std::string targets[] = {
      kUpdate + "file/" + crc + ".bin",
      kUpdate + "file/../../secret.txt",
      kUpdate + "file/%2e%2e/%2e%2e/secret.txt",
      kUpdate + "file/..%2f..%2fcentral.db",
      "/tollimer/../secret.txt",
      "/tollimer/update/file/" + crc + ".bin/../../../secret.txt",
      "/secret.txt",
      "/central.db",
      "/tollimer/releases/" + crc + ".bin",
      "/tollimer/data/../central.db",
  };
  for (const std::string& target : targets) {
    const RawReply reply = RawHttp(central.HttpPort(), DownloaderRequest(target));
    EXPECT_EQ(reply.status, 404) << target;
    EXPECT_EQ(reply.body.find("secret"), std::string::npos) << target;
    EXPECT_EQ(reply.body.find("SQLite"), std::string::npos) << target;
  }
}

TEST(CentralService, TheBlacklistOpensLineByLineAsTheAssistantOpensIt) {
  RunningCentral central("central_service_blacklist");
  const BlacklistImport import = ParseBlacklistFile(
      "330102199003074415\t张三\t2024-01-02\t盗窃财物\r\n11010519491231002X 李四 2023-12-31 打架斗殴\r\n",
      false, {2026, 12, 10});
  std::vector<BlacklistRow> rows;
  for (const auto& e : import.entries) rows.push_back({e.idNumber, Ansi_ToUtf8(e.line)});
  ASSERT_TRUE(central.store->ImportBlacklist(rows, true));

  auto fetch = [&] {
    const RawReply reply = HttpGet(central.HttpPort(), "/tollimer/data/blklist.txt?");
    EXPECT_EQ(reply.status, 200);
    std::vector<std::string> opened;
    for (const std::string& line : SplitText(reply.body, '\n', CountOccurrences(reply.body, "\n") + 1)) {
      if (line.find_first_not_of("\r") == std::string::npos) continue;
      std::string plain;
      Des_Crypt(line, 2, 3, 0, true, plain);  // key row 3, no code-page step
      opened.push_back(plain);
    }
    return opened;
  };
  std::vector<std::string> lines = fetch();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "330102199003074415 #三   2024-01-02 盗窃财物");
  EXPECT_EQ(lines[1], "11010519491231002X #四   2023-12-31 打架斗殴");
  for (const std::string& line : lines) EXPECT_GE(CountOccurrences(line, " "), 3);  // the assistant keeps it

  // A change made meanwhile by the operator's command is served at once.
  ASSERT_TRUE(central.store->RemoveBlacklist("330102199003074415"));
  lines = fetch();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 18), "11010519491231002X");
}

// The assistants replace their list with what this answers: a list the
// store cannot read whole is answered 503, never as a shorter list.
TEST(CentralService, ABlacklistTheStoreCannotReadIsAnswered503) {
  RunningCentral central("central_service_blacklist_unread");
  ASSERT_TRUE(central.store->ImportBlacklist({{"1", "\"first\""}, {"2", "second"}}, true));
  ASSERT_TRUE(BreakBlacklistTable(central.config.dataDir + "/central.db"));
  const RawReply reply = HttpGet(central.HttpPort(), "/tollimer/data/blklist.txt?");
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.body, "store busy\n");
}

TEST(CentralService, RecordsHitReportsAsTheAssistantSendsThem) {
  RunningCentral central("central_service_hits");
  // Unencoded GBK, quotes and SQL in the target, as the assistant fills it
  // in; the client library escapes only the spaces.
  const std::string targets[] = {
      "/tollimer/report.php?CID=330102199003074415&RET=00E04C6A1B2C|3301|星空%20网吧|",
      "/tollimer/report.php?CID=x');DROP%20TABLE%20hits;--&RET='%20OR%20'1'='1|3301|\";%20DELETE%20FROM%20"
      "installations|",
  };
  for (const std::string& target : targets) {
    EXPECT_EQ(RawHttp(central.HttpPort(), "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: "
                                          "OrvAssistant\r\nConnection: close\r\n\r\n")
                  .status,
              200)
        << target;
  }
  EXPECT_EQ(HttpGet(central.HttpPort(), "/tollimer/report.php?nothing").status, 400);
  const auto hits = central.store->Hits(0);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[1].idNumber, "330102199003074415");
  EXPECT_EQ(hits[1].mac, "00E04C6A1B2C");
  EXPECT_EQ(hits[1].barId, "3301");
  EXPECT_EQ(hits[1].barName, Utf8(u8"星空 网吧"));
  EXPECT_EQ(hits[0].idNumber, "x');DROP TABLE hits;--");
  EXPECT_EQ(hits[0].mac, "' OR '1'='1");
  EXPECT_EQ(hits[0].barName, "\"; DELETE FROM installations");
  EXPECT_TRUE(central.store->IntegrityOk());

  // The status page shows them, escaped.
  const RawReply page = HttpGet(central.service->StatusPort(), "/");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find(Utf8(u8"星空 网吧")), std::string::npos);
  EXPECT_NE(page.body.find("&quot;; DELETE FROM installations"), std::string::npos);
}

// Hits come without authentication: however many came, the status page
// lists one page of them with a link to the next, and a query that is not
// one of its links is refused.
TEST(CentralService, TheStatusPageListsAPageOfHitsWithALinkToTheNext) {
  RunningCentral central("central_service_many_hits");
  const std::int64_t now = NowSeconds();
  const int many = 1200;
  for (int i = 0; i < many; ++i) {
    ASSERT_TRUE(central.store->RecordHit({Format("330102199003%06d", i), "00E04C6A1B2C", "3301", Format("bar%d", i)}, "10.0.0.1",
                                         now - i));
  }
  const auto rowsOf = [](const std::string& page) {
    std::size_t rows = 0;
    for (std::size_t at = page.find("xxxxxx</td>"); at != std::string::npos; at = page.find("xxxxxx</td>", at + 1)) {
      ++rows;
    }
    return rows;
  };
  const RawReply first = HttpGet(central.service->StatusPort(), "/");
  ASSERT_EQ(first.status, 200);
  EXPECT_NE(first.body.find(Utf8(u8"（") + std::to_string(many) + Utf8(u8"）")), std::string::npos);
  EXPECT_EQ(rowsOf(first.body), kHitRowsShown);
  const std::size_t link = first.body.find("href=\"?hits_before=");
  ASSERT_NE(link, std::string::npos);
  const std::size_t query = link + 6;
  const RawReply second =
      HttpGet(central.service->StatusPort(), "/" + first.body.substr(query, first.body.find('"', query) - query));
  ASSERT_EQ(second.status, 200);
  EXPECT_EQ(rowsOf(second.body), kHitRowsShown);
  // The second page begins where the first ended.
  const std::string lastOfFirst = Format("3301 bar%zu<", kHitRowsShown - 1), firstOfSecond = Format("3301 bar%zu<", kHitRowsShown);
  EXPECT_NE(first.body.find(lastOfFirst), std::string::npos);
  EXPECT_EQ(first.body.find(firstOfSecond), std::string::npos);
  EXPECT_EQ(second.body.find(lastOfFirst), std::string::npos);
  EXPECT_NE(second.body.find(firstOfSecond), std::string::npos);
  for (const char* bad : {"/?hits_before=abc", "/?hits_before=1.2.3", "/?bars_from=-1", "/?bars_from=1&bars_from=2"}) {
    EXPECT_EQ(HttpGet(central.service->StatusPort(), bad).status, 400) << bad;
  }
  EXPECT_EQ(HttpGet(central.service->StatusPort(), "/?unknown=1").status, 200);
}

TEST(CentralService, AnswersTheAboutPage) {
  RunningCentral central("central_service_about");
  RawReply page = HttpGet(central.HttpPort(), "/tollimer/about.html");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("Tollimer"), std::string::npos);
  central.dir.Write("about.html", "<p>our chain</p>");
  page = HttpGet(central.HttpPort(), "/tollimer/about.html");
  EXPECT_EQ(page.body, "<p>our chain</p>");
}

int WaitForCount(const std::function<std::size_t()>& count, std::size_t want) {
  for (int i = 0; i < 200 && count() < want; ++i) SleepMs(10);
  return static_cast<int>(count());
}

TEST(NoticeCollector, RecordsTheAssistantsNotice) {
  RunningCentral central("central_collector_notice");
  const auto port = static_cast<std::uint16_t>(central.collector->Port());
  SendNotice("Bid=3301,BarName=星空网吧,BlackID=330102199003074415 #三   2024-01-02 盗窃财物", "127.0.0.1", port);
  ASSERT_EQ(WaitForCount([&] { return central.store->Notices(10).size(); }, 1), 1);
  const auto notices = central.store->Notices(10);
  EXPECT_EQ(notices[0].text, Utf8(u8"Bid=3301,BarName=星空网吧,BlackID=330102199003074415 #三   2024-01-02 盗窃财物"));
  EXPECT_EQ(notices[0].address, "127.0.0.1");
}

TEST(NoticeCollector, AFloodIsCutDownAndStrangersAreRefused) {
  CentralConfig config;
  config.noticesPerSecond = 20;  // burst of 100
  RunningCentral central("central_collector_flood", config);
  const auto port = static_cast<std::uint16_t>(central.collector->Port());
  const std::int64_t startMs = SteadyMs();
  for (int i = 0; i < 3000; ++i) {
    SendNotice("Bid=1,BarName=x,BlackID=" + std::to_string(i), "127.0.0.1", port);
    // Short breaths, so the kernel's receive buffer does not drop the flood
    // before the collector sees it.
    if (i % 100 == 99) SleepMs(2);
  }
  for (int i = 0; i < 200; ++i) {
    Socket s = Socket::Udp();
    const std::string junk = "not a notice " + std::to_string(i);
    (void)s.SendTo(junk.data(), junk.size(), "127.0.0.1", port);
  }
  const double seconds = static_cast<double>(SteadyMs() - startMs) / 1000.0;
  const auto total = [&] {
    return static_cast<std::size_t>(central.collector->Recorded() + central.collector->Dropped() +
                                    central.collector->Refused());
  };
  WaitForCount(total, 3200);
  // Datagrams may be lost on the way; none is recorded beyond the limit.
  EXPECT_LE(central.collector->Recorded(), 100 + static_cast<std::int64_t>(20 * (seconds + 2.5)));
  EXPECT_GE(central.collector->Recorded(), 100);
  EXPECT_GT(central.collector->Dropped(), 1500);
  EXPECT_EQ(central.collector->Refused(), 200);
  EXPECT_EQ(static_cast<std::int64_t>(central.store->Notices(100000).size()), central.collector->Recorded());
}

// A flood within the rate fills the notices table only up to its ceiling:
// the oldest make room and are counted.
TEST(NoticeCollector, KeepsTheNewestNoticesUpToItsCeiling) {
  CentralConfig config;
  config.noticesPerSecond = 1000;  // burst of 5000: every notice passes the rate
  config.maxNotices = 100;
  RunningCentral central("central_collector_ceiling", config);
  const auto port = static_cast<std::uint16_t>(central.collector->Port());
  for (int i = 0; i < 300; ++i) {
    SendNotice("Bid=1,BarName=x,BlackID=" + std::to_string(i), "127.0.0.1", port);
    if (i % 50 == 49) SleepMs(5);
  }
  WaitForCount([&] { return static_cast<std::size_t>(central.collector->Recorded()); }, 300);
  const std::int64_t recorded = central.collector->Recorded();
  EXPECT_GT(recorded, 100);
  const auto kept = central.store->Notices(1000);
  EXPECT_EQ(kept.size(), 100u);
  EXPECT_EQ(central.collector->Removed(), recorded - 100);
  EXPECT_NE(kept.front().text.find("BlackID=299"), std::string::npos);
}

// The program as an operator or a test starts it: free ports, a scratch
// data folder, the ports written to a file, a clean end on SIGTERM.
TEST(TollimerCentral, StartsOnFreePortsAndStopsCleanly) {
  TempDir dir("central_program");
  const std::string data = dir.Path("data");
  const std::string ports = dir.Path("ports");
  // The test build's rows, allowed by the configuration's own line.
  const std::string config = dir.Path("test-keys.conf");
  std::ofstream(config) << "test_keys = yes\n";
  const char* argv[] = {TOLLIMER_CENTRAL_EXE, "--config", config.c_str(), "--data", data.c_str(), "serve",
                        "--http-port",        "0",            "--collector-port", "0",
                        "--status-port",      "off",          "--port-file",  ports.c_str(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  std::string text;
  for (int i = 0; i < 100 && text.empty(); ++i) {
    SleepMs(50);
    std::ifstream in(ports);
    std::getline(in, text, '\0');
  }
  ASSERT_NE(text.find("http="), std::string::npos);
  const int port = ParseDecimal(text.substr(5, text.find('\n') - 5)).value_or(0);
  EXPECT_NE(text.find("status=-1"), std::string::npos);
  const RawReply reply =
      HttpPost(port, kUpdate + "?t=1", SealAsAssistant(AssistantReport("M", "D", "C", "3301", "x")));
  EXPECT_TRUE(OpenAsAssistant(reply.body));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string error;
  auto store = CentralStore::Open(data + "/central.db", error);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Installs().size(), 1u);
}

// A service configured without the chain's rows, or with the test build's,
// does not start: it names the line to fill and ends with a failure, so
// systemd shows the unit failed instead of a service that anybody can talk to.
TEST(TollimerCentral, RefusesToServeWithoutTheChainsKeyRows) {
  TempDir dir("central_refuses");
  const struct {
    const char* config;
    const char* named;
  } cases[] = {
      {"", "key_row1 is not set: fill the line \"key_row1 = "},
      {"key_row1 = 00112233445566778899AABBCCDDEEFF\nkey_row3 = 9F2B6D40C1E8537A1E5C9B3F7026D48E\n",
       "key_row3 is a row of the test build"},
  };
  for (const auto& c : cases) {
    const std::string config = dir.Path("central.conf");
    std::ofstream(config) << c.config;
    // Bounded: a service that started anyway is ended after 20 s, and shows.
    const std::string out = RunShell("timeout 20 '" TOLLIMER_CENTRAL_EXE "' --config '" + config + "' --data '" +
                                     dir.Path("data") + "' serve --http-port 0 --collector-port off " +
                                     "--status-port off; echo \"exit=$?\"");
    EXPECT_NE(out.find(c.named), std::string::npos) << out;
    EXPECT_NE(out.find("not serving"), std::string::npos) << out;
    EXPECT_NE(out.find("exit=1"), std::string::npos) << out;
  }
}

}  // namespace

namespace {

// The operator's commands of the real program on the data folder `data`.
std::string Command(const std::string& data, const std::string& arguments) {
  return RunCentral("--data '" + data + "' " + arguments);
}

// An operator sets the chain up with the commands, assistants exchange,
// report and fetch, and the operator reads it all back with the commands.
TEST(TollimerCentral, WhatTheOperatorSetsReachesTheAssistantsAndTheirReportsComeBack) {
  TempDir dir("central_operator");
  const std::string data = dir.Path("data");
  const std::string exe = dir.Write("Tollimer.exe", FakeExecutable(0x14C, "release 2"));
  const std::string list = dir.Write("list.txt", "330102199003074415\t张三\t2024-01-02\t盗窃财物\r\n");
  Command(data, "init");
  EXPECT_EQ(Command(data, "params set interval 45"), "");
  EXPECT_NE(Command(data, "params set interval 0").find("1 to"), std::string::npos);  // refused
  EXPECT_EQ(Command(data, "params set delay 500 --bar 3301"), "");
  // The operator's key: its public half is what the assistants' build takes.
  const std::string made = Command(data, "keygen");
  const std::size_t option = made.find("-DTOLLIMER_RELEASE_KEY=");
  ASSERT_NE(option, std::string::npos) << made;
  const std::optional<ReleaseKey> releaseKey = ParseReleaseKey(made.substr(option + 23, 128));
  ASSERT_TRUE(releaseKey) << made;
  const std::string added = Command(data, "release add '" + exe + "'");
  EXPECT_NE(added.find(", signed"), std::string::npos) << added;
  const std::string crc = added.substr(8, 8);  // "release XXXXXXXX (x86, ..."
  EXPECT_NE(Command(data, "blacklist import '" + list + "'").find("imported 1 entries"), std::string::npos);

  CentralConfig config;
  config.dataDir = data;
  config.httpAddress = config.collectorAddress = "127.0.0.1";
  config.httpPort = config.collectorPort = 0;
  config.statusPort = -1;
  std::string error;
  auto store = CentralStore::Open(data + "/central.db", error);
  ASSERT_TRUE(store) << error;
  CentralService service(config, *store);
  NoticeCollector collector(config, *store);
  ASSERT_TRUE(service.Start(error) && collector.Start(error)) << error;

  const auto payload = OpenAsAssistant(
      HttpPost(service.HttpPort(), kUpdate + "?t=1",
               SealAsAssistant(AssistantReport("00E04C6A1B2C", "WD-9", "0BADF00D", "3301", "星空网吧")))
          .body);
  ASSERT_TRUE(payload);
  EXPECT_EQ(PayloadValue(*payload, "interval"), "45");
  EXPECT_EQ(PayloadValue(*payload, "delay"), "500");
  EXPECT_EQ(PayloadValue(*payload, "crclist"), crc);
  EXPECT_EQ(HttpGet(service.HttpPort(), kUpdate + "file/0BADF00D.bin").body, FakeExecutable(0x14C, "release 2"));
  // Beside it the statement, which the assistant's own check accepts with
  // the printed key, naming this very file.
  const RawReply signature = HttpGet(service.HttpPort(), kUpdate + "file/0BADF00D.sig");
  EXPECT_EQ(signature.status, 200);
  const StatementVerdict verdict = CheckReleaseStatement(*releaseKey, signature.body, 0x0001000000000001, "x86");
  EXPECT_EQ(verdict.check, StatementCheck::kAccepted) << signature.body;
  EXPECT_EQ(verdict.statement.sha256, Sha256OfFile(exe));
  EXPECT_EQ(HttpGet(service.HttpPort(), "/tollimer/report.php?CID=330102199003074415&RET=00E04C6A1B2C|3301|"
                                        "星空网吧|")
                .status,
            200);
  SendNotice("Bid=3301,BarName=星空网吧,BlackID=330102199003074415", "127.0.0.1",
             static_cast<std::uint16_t>(collector.Port()));
  WaitForCount([&] { return store->Notices(10).size(); }, 1);
  collector.Stop();
  service.Stop();

  const std::string installs = Command(data, "installs");
  EXPECT_NE(installs.find(Utf8(u8"3301\t星空网吧\t00E04C6A1B2C\tWD-9\t0BADF00D")), std::string::npos) << installs;
  const std::string hits = Command(data, "hits");
  EXPECT_NE(hits.find(Utf8(u8"330102199003074415\t00E04C6A1B2C\t3301\t星空网吧")), std::string::npos) << hits;
  const std::string notices = Command(data, "notices");
  EXPECT_NE(notices.find(Utf8(u8"Bid=3301,BarName=星空网吧,BlackID=330102199003074415")), std::string::npos)
      << notices;
}

TEST(TollimerCentral, HelpAndImportRefusalsSpeakToTheOperator) {
  TempDir dir("central_help");
  const std::string data = dir.Path("data");
  for (const char* asked : {"--help", "-h", "help", "blacklist --help"}) {
    const std::string out = Command(data, asked);
    EXPECT_EQ(out.rfind("usage: tollimer-central", 0), 0u) << asked << ": " << out;
    EXPECT_EQ(out.find("needs a value"), std::string::npos) << asked;
  }
  const std::string list = dir.Write("list.txt",
                                     "11010519491231002X\t张三\t2024/3/7\t盗窃他人财物\r\n"
                                     "11010519491231002X\t张三\t7.3.2024\t盗窃他人财物\r\n");
  Command(data, "init");
  const std::string out = Command(data, "blacklist import '" + list + "'");
  EXPECT_NE(out.find("line 2 refused: date: a date such as 2024-03-07"), std::string::npos) << out;
  EXPECT_NE(out.find("imported 1 entries, refused 1 lines"), std::string::npos) << out;
}

}  // namespace
