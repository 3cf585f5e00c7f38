#include "central/config/central_config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

TEST(CentralConfig, DefaultsAreWhatTheAssistantOfThisBuildUses) {
  const ConfigResult r = ParseCentralConfig("");
  ASSERT_TRUE(r.config);
  // The test build's assistant talks to http://127.0.0.1:18080/tollimer/.
  EXPECT_EQ(r.config->httpPort, 18080);
  EXPECT_EQ(r.config->basePath, "/tollimer/");
  EXPECT_EQ(r.config->serviceKey.key, EnvelopeKeyRow(1).key);
  EXPECT_EQ(r.config->serviceKey.iv, EnvelopeKeyRow(1).iv);
  EXPECT_EQ(r.config->blacklistKey.key, EnvelopeKeyRow(3).key);
  EXPECT_EQ(r.config->collectorPort, 8888);
  EXPECT_EQ(r.config->timeZone, "Asia/Shanghai");
}

TEST(CentralConfig, FileValuesOverrideDefaults) {
  const ConfigResult r = ParseCentralConfig(
      "# chain of 40 cafes\n"
      "service_base = http://central.example.com:8080/orv/api/\n"
      "  data_dir =  /var/lib/tollimer  \r\n"
      "key_row1 = 00112233445566778899AABBCCDDEEFF\n"
      "download_format = dl/%s.exe\n"
      "signature_format = dl/%s.exe.sig\n"
      "release_key = /etc/tollimer/release-key.pem\n"
      "status_port = off\n"
      "collector_port = 0\n"
      "time_zone = America/Argentina/Buenos_Aires\n"
      "connections_per_address = 4\n"
      "max_connections = 2000\n"
      "request_seconds = 3\n"
      "max_workers = 64\n"
      "max_notices = 5000\n"
      "retention_days = 30\n"
      "trusted_proxies = 127.0.0.1, ::1\n");
  ASSERT_TRUE(r.config) << (r.errors.empty() ? "" : r.errors[0]);
  EXPECT_EQ(r.config->httpPort, 8080);
  EXPECT_EQ(r.config->basePath, "/orv/api/");
  EXPECT_EQ(r.config->dataDir, "/var/lib/tollimer");
  EXPECT_EQ(r.config->serviceKey.key[0], 0x00);
  EXPECT_EQ(r.config->serviceKey.key[7], 0x77);
  EXPECT_EQ(r.config->serviceKey.iv[0], 0x88);
  EXPECT_EQ(r.config->serviceKey.iv[7], 0xFF);
  EXPECT_EQ(r.config->downloadPrefix, "dl/");
  EXPECT_EQ(r.config->downloadSuffix, ".exe");
  EXPECT_EQ(r.config->signaturePrefix, "dl/");
  EXPECT_EQ(r.config->signatureSuffix, ".exe.sig");
  EXPECT_EQ(r.config->releaseKeyFile, "/etc/tollimer/release-key.pem");
  EXPECT_EQ(r.config->statusPort, -1);
  EXPECT_EQ(r.config->collectorPort, 0);
  EXPECT_EQ(r.config->timeZone, "America/Argentina/Buenos_Aires");
  EXPECT_EQ(r.config->connectionsPerAddress, 4u);
  EXPECT_EQ(r.config->maxConnections, 2000u);
  EXPECT_EQ(r.config->requestSeconds, 3);
  EXPECT_EQ(r.config->maxWorkers, 64u);
  EXPECT_EQ(r.config->maxNotices, 5000);
  EXPECT_EQ(r.config->retentionDays, 30);
  EXPECT_EQ(r.config->trustedProxies, (std::vector<std::string>{"127.0.0.1", "::1"}));
}

// Saved by a Windows editor: the byte-order mark is not part of the first name.
TEST(CentralConfig, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
  for (const char* first : {"data_dir = /srv/chain\n", "# the chain\ndata_dir = /srv/chain\n"}) {
    const ConfigResult r = ParseCentralConfig(std::string("\xEF\xBB\xBF") + first);
    ASSERT_TRUE(r.config) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_EQ(r.config->dataDir, "/srv/chain");
  }
}

TEST(CentralConfig, RefusesLinesThatWouldMisconfigureTheService) {
  const char* bad[] = {
      "http_port = 70000",
      "http_port = eighty",
      "colour = blue",
      "just a line",
      "key_row3 = 0011",                                  // too short
      "key_row3 = 00112233445566778899AABBCCDDEEFG",      // not hex
      "blacklist_path = ../etc/passwd",
      "report_path = /report.php",
      "about_path = a b.html",
      "download_format = file/.bin",                      // no %s
      "download_format = file/%s/%s.bin",
      "download_format = file/%s/x.bin",                  // suffix leaves the folder
      "service_base = http://host:99999/x/",
      "service_base = http://host/x",                     // path must end with /
      "max_body_bytes = 10",
      "notices_per_second = 0",
      "open_marker = [END]",                              // equal to the closing one
      "signature_format = file/%s.bin",                   // the release's own address
      "signature_format = ../%s.sig",
      "release_key = ",
      "time_zone = ../../etc/passwd",                     // a zone name never leaves the zone folder
      "time_zone = /etc/localtime",
      "time_zone = Asia//Shanghai",
      "connections_per_address = 0",                      // nobody could connect
      "max_connections = many",
      "request_seconds = 61",                             // over a minute
      "max_workers = 0",                                  // nothing would serve
      "max_notices = 10",                                 // too few to see a flood in
      "retention_days = 0",                               // would remove what just came in
      "test_keys = maybe",                                // yes or no
      "trusted_proxies = proxy.example.com",              // a name could be anyone tomorrow
      "trusted_proxies = 127.0.0.1:8080",
  };
  for (const char* line : bad) {
    const ConfigResult r = ParseCentralConfig(std::string(line) + "\n");
    EXPECT_FALSE(r.config) << line;
    EXPECT_FALSE(r.errors.empty()) << line;
  }
}

// `serve` takes only key rows the file gave, and none of the test build's,
// unless the file says test_keys = yes; each refusal names the line to fill.
TEST(CentralConfig, ServeRefusesKeyRowsLeftOutAndTheTestRows) {
  const std::string chain1 = "key_row1 = 00112233445566778899AABBCCDDEEFF\n";
  const std::string chain3 = "key_row3 = FFEEDDCCBBAA99887766554433221100\n";
  const struct {
    std::string text;
    std::vector<std::string> refused;  // the start of each refusal, in order
  } cases[] = {
      {"", {"key_row1 is not set", "key_row3 is not set"}},
      {chain1, {"key_row3 is not set"}},
      {chain1 + chain3, {}},
      // The test build's rows, in either case of letters, and in any place.
      {"key_row1 = 3A7C11D95E02B4F86C21E0A94D7F3B15\n" + chain3, {"key_row1 is a row of the test build"}},
      {chain1 + "key_row3 = 9f2b6d40c1e8537a1e5c9b3f7026d48e\n", {"key_row3 is a row of the test build"}},
      {"key_row1 = 712BD9C3E1C0DFA4643C22C62586426C\n" + chain3, {"key_row1 is a row of the test build"}},
      {"key_row3 = B1E4072C9D58A36F402F6B1DE89C75A3\n", {"key_row1 is not set", "key_row3 is a row of the test build"}},
      // Allowed by its own loud line: the tests' and the demo's service.
      {"test_keys = yes\n", {}},
      {"test_keys = yes\nkey_row1 = 3A7C11D95E02B4F86C21E0A94D7F3B15\n", {}},
      {"test_keys = no\n" + chain1, {"key_row3 is not set"}},
  };
  for (const auto& c : cases) {
    const ConfigResult r = ParseCentralConfig(c.text);
    ASSERT_TRUE(r.config) << c.text;
    const std::vector<std::string> refusals = ServeKeyRefusals(*r.config);
    ASSERT_EQ(refusals.size(), c.refused.size()) << c.text;
    for (std::size_t i = 0; i < refusals.size(); ++i) {
      EXPECT_EQ(refusals[i].rfind(c.refused[i], 0), 0u) << refusals[i];
      // The line to fill, by its name.
      const std::string line = c.refused[i].substr(0, 8);
      EXPECT_NE(refusals[i].find("\"" + line + " = "), std::string::npos) << refusals[i];
    }
  }
}

TEST(CentralConfig, DescriptionReadsBackToTheSameConfiguration) {
  for (const char* text : {"", "key_row3 = 00112233445566778899AABBCCDDEEFF\nstatus_port = off\n", "test_keys = yes\n",
                           "release_key = /srv/key.pem\nsignature_format = sig/%s\n",
                           "trusted_proxies = 127.0.0.1 2001:db8::1\n"}) {
    const ConfigResult first = ParseCentralConfig(text);
    ASSERT_TRUE(first.config) << text;
    const ConfigResult again = ParseCentralConfig(DescribeCentralConfig(*first.config));
    ASSERT_TRUE(again.config) << again.errors[0];
    EXPECT_EQ(DescribeCentralConfig(*again.config), DescribeCentralConfig(*first.config));
  }
}

TEST(CentralConfig, TheExampleFileIsAValidConfiguration) {
  std::ifstream in(TOLLIMER_SOURCE_DIR "/tools/central/tollimer-central.conf.example");
  std::stringstream text;
  text << in.rdbuf();
  ASSERT_FALSE(text.str().empty());
  const ConfigResult r = ParseCentralConfig(text.str());
  ASSERT_TRUE(r.config) << r.errors[0];
  // Its key rows are the test build's, so it works with that assistant as is.
  EXPECT_EQ(r.config->serviceKey.key, EnvelopeKeyRow(1).key);
  EXPECT_EQ(r.config->blacklistKey.iv, EnvelopeKeyRow(3).iv);
}

}  // namespace
