#include "central/exchange/exchange.h"

#include <gtest/gtest.h>

#include "crypto/codepage.h"
#include "crypto/envelope.h"
#include "fakes/gbk_samples.h"
#include "fakes/sample_update_request.h"
#include "net/notice.h"
#include "net/central_exchange.h"
#include "central/service_client.h"

namespace {

const CentralConfig kConfig;

TEST(InstallReport, OpensWhatTheAssistantSeals) {
  const auto report = OpenInstallReport(
      SealAsAssistant(AssistantReport("00E04C6A1B2C", "WD-123", "ABCD1234", "3301", "星空网吧")), kConfig);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->mac, "00E04C6A1B2C");
  EXPECT_EQ(report->diskSerial, "WD-123");
  EXPECT_EQ(report->versionCrc, "ABCD1234");
  EXPECT_EQ(report->barId, "3301");
  EXPECT_EQ(report->barName, Utf8(u8"星空网吧"));  // kept as UTF-8
  EXPECT_EQ(report->featureBits, 15);
  EXPECT_EQ(report->monitors, 2);
  EXPECT_EQ(report->neighbours, 3);
  EXPECT_EQ(report->clientTime, "1700000000");
}

TEST(InstallReport, RefusesWhatIsNotAReport) {
  std::string wrongKey;
  Des_Crypt(AssistantReport("00E04C6A1B2C", "D", "ABCD1234", "1", "x"), 1, 0, 1, true, wrongKey);
  const std::string cases[] = {
      "",
      "garbage that is not base64 !!!",
      "QUJD",                                  // Base64, not whole cipher blocks
      wrongKey,                                // another key row
      SealAsAssistant("hello=world\r\n"),      // opens, but is no report
      SealAsAssistant("crc=ABCD1234\r\n"),     // no MAC
      std::string(5000, 'A'),
  };
  for (const std::string& body : cases) EXPECT_FALSE(OpenInstallReport(body, kConfig)) << body.substr(0, 40);
}

TEST(InstallReport, CutsOverlongValuesWithoutSplittingACharacter) {
  std::string name;
  for (int i = 0; i < 100; ++i) name += "网";  // 200 GBK bytes
  const auto report = OpenInstallReport(SealAsAssistant(AssistantReport("M", "D", "C", "1", "A" + name)), kConfig);
  ASSERT_TRUE(report);
  // 128 bytes: "A" and 63 whole characters (the 64th would need byte 129).
  EXPECT_EQ(report->barName, "A" + [] {
    std::string s;
    for (int i = 0; i < 63; ++i) s += Utf8(u8"网");
    return s;
  }());
}

// What the assistant reports, field by field, must reach the service as that
// field: a line break inside one value must not supply another.
TEST(InstallReport, AValueWithALineBreakSuppliesNoOtherField) {
  struct Case {
    const char* what;
    void (*spoil)(UpdateRequestValues&);
  } cases[] = {
      {"bar name", [](UpdateRequestValues& v) { v.barName = "A\r\nos=9.9\r\nexpcofig=63\nmonitors=9\rdisk=X"; }},
      {"bar id", [](UpdateRequestValues& v) { v.barId = "1\nbarname=Other"; }},
      {"face sound", [](UpdateRequestValues& v) { v.faceSoundInfo = std::string("a\0disk=X\x1b", 12); }},
      {"MAC", [](UpdateRequestValues& v) { v.macText = "00E04C6A1B2C\r\ncrc=00000000"; }},
  };
  for (const Case& c : cases) {
    const UpdateRequestValues values = SampleUpdateRequest();
    UpdateRequestValues spoilt = values;
    c.spoil(spoilt);
    const auto plain = OpenInstallReport(SealAsAssistant(BuildUpdateRequest(values)), kConfig);
    const auto report = OpenInstallReport(SealAsAssistant(BuildUpdateRequest(spoilt)), kConfig);
    ASSERT_TRUE(plain && report) << c.what;
    // Only the spoilt field itself may differ.
    EXPECT_EQ(report->osVersion, plain->osVersion) << c.what;
    EXPECT_EQ(report->featureBits, plain->featureBits) << c.what;
    EXPECT_EQ(report->monitors, plain->monitors) << c.what;
    EXPECT_EQ(report->versionCrc, plain->versionCrc) << c.what;
    EXPECT_EQ(report->diskSerial, plain->diskSerial) << c.what;
    if (std::string(c.what) != "bar name") {
      EXPECT_EQ(report->barName, plain->barName) << c.what;
    }
  }
}

// A report crafted by hand, not by an assistant: a name on two lines has no
// value at all, and control bytes are shown, never stored as they are.
TEST(InstallReport, ANameOnTwoLinesHasNoValueAndControlBytesAreShownEscaped) {
  const auto report = OpenInstallReport(
      SealAsAssistant(AssistantReport("M", "D\x1b[2J", "C", "1", "A\r\nos=9.9\r\nexpcofig=63")), kConfig);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->barName, "A");
  EXPECT_EQ(report->osVersion, "");
  EXPECT_EQ(report->featureBits, -1);
  EXPECT_EQ(report->monitors, 2);
  EXPECT_EQ(report->diskSerial, "D\\x1B[2J");
  // MAC or checksum on two lines: no report.
  EXPECT_FALSE(OpenInstallReport(SealAsAssistant(AssistantReport("M", "D", "C", "1", "A\r\nmac=N")), kConfig));
}

TEST(GbkField, CutsWhereCodePage936CutsAndEscapesControlBytes) {
  struct Case { std::string gbk; std::size_t max; std::string utf8; };
  const Case cases[] = {
      {"\x80网", 2, Utf8(u8"€")},      // 0x80 is one byte (€): 网 is left out whole
      {"\x80网", 3, Utf8(u8"€网")},
      {"A网", 2, "A"},
      {"a\tb\r\n", 9, "a\\x09b\\x0D\\x0A"},
      {std::string("a\0b", 3), 9, "a\\x00b"},
      {"x\x7f", 9, "x\\x7F"},
  };
  for (const Case& c : cases) EXPECT_EQ(GbkField(c.gbk, c.max), c.utf8) << c.gbk << " " << c.max;
}

TEST(ExchangeReply, TheAssistantReadsParametersAndReleaseIdentities) {
  const std::string body =
      BuildExchangeReply({{"delay", "350"}, {"interval", "30"}, {"motd", Utf8(u8"欢迎")}}, "ABCD1234,00FF00FF", kConfig);
  const auto payload = OpenAsAssistant(Ansi_ToUtf8(body));
  ASSERT_TRUE(payload);
  EXPECT_EQ(PayloadValue(*payload, "delay"), "350");
  EXPECT_EQ(PayloadValue(*payload, "interval"), "30");
  EXPECT_EQ(PayloadValue(*payload, "crclist"), "ABCD1234,00FF00FF");
  // UTF-8 values reach the assistant as its GBK text.
  EXPECT_EQ(PayloadValue(*payload, "motd"), "欢迎");
}

TEST(ExchangeReply, WithNothingSetStillOpens) {
  // The assistant counts a payload without "=" as no reply and retries, so
  // an empty release list must still make a name=value line.
  const auto payload = OpenAsAssistant(BuildExchangeReply({}, "", kConfig));
  ASSERT_TRUE(payload);
  EXPECT_EQ(PayloadValue(*payload, "crclist"), "");
  EXPECT_FALSE(PayloadValue(*payload, "interval"));
}

TEST(RouteRequest, FindsEachExchangeAndNothingElse) {
  struct Case {
    const char* target;
    Endpoint endpoint;
    const char* crc;
  };
  const Case cases[] = {
      {"/tollimer/update/?t=1", Endpoint::Exchange, ""},
      {"/tollimer/update/", Endpoint::Exchange, ""},
      {"/tollimer/data/blklist.txt?", Endpoint::Blacklist, ""},
      {"/tollimer/report.php?CID=1&RET=a|b|c|", Endpoint::Report, ""},
      {"/tollimer/about.html", Endpoint::About, ""},
      {"/tollimer/update/file/abcd1234.bin", Endpoint::Download, "ABCD1234"},
      {"/tollimer/update/file/ABCD1234.bin?x=1", Endpoint::Download, "ABCD1234"},
      {"/tollimer/update/file/%41BCD1234.bin", Endpoint::Download, "ABCD1234"},
      {"/tollimer/update/file/abcd1234.sig", Endpoint::Signature, "ABCD1234"},
      {"/tollimer/update/file/ABCD1234.sig?t=2", Endpoint::Signature, "ABCD1234"},
      {"/tollimer/update/file/ABCD1234.bin.sig", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD123.sig", Endpoint::NotFound, ""},
      {"/tollimer/update/file/../ABCD1234.sig", Endpoint::NotFound, ""},
      // Path tricks never reach a file name.
      {"/tollimer/update/file/../../central.db", Endpoint::NotFound, ""},
      {"/tollimer/update/file/%2e%2e%2fcentral.db", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD123.bin", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD12345.bin", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD123G.bin", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD1234.bin/../x", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD1234.exe", Endpoint::NotFound, ""},
      {"/tollimer/update/file/../1234ABCD.bin", Endpoint::NotFound, ""},
      {"/tollimer/update/file//ABCD1234.bin", Endpoint::NotFound, ""},
      {"/tollimer/update/file/ABCD%001234.bin", Endpoint::NotFound, ""},
      {"/tollimer/../tollimer/about.html", Endpoint::NotFound, ""},
      {"/TOLLIMER/about.html", Endpoint::NotFound, ""},
      {"/other/update/", Endpoint::NotFound, ""},
      {"", Endpoint::NotFound, ""},
      {"*", Endpoint::NotFound, ""},
  };
  for (const Case& c : cases) {
    const RouteResult r = RouteRequest(c.target, kConfig);
    EXPECT_EQ(r.endpoint, c.endpoint) << c.target;
    EXPECT_EQ(r.releaseCrc, c.crc) << c.target;
  }
}

TEST(HitReport, ReadsTheAssistantsQuery) {
  struct Case {
    std::string query;
    bool ok;
    std::string id, mac, barId, barName;
  };
  const Case cases[] = {
      {"CID=11010119900307447X&RET=00E04C6A1B2C|3301|星空网吧|", true, "11010119900307447X", "00E04C6A1B2C",
       "3301", Utf8(u8"星空网吧")},
      // Sent without percent-encoding; a proxy or the client library may
      // encode it on the way, either way reads the same.
      {"CID=110101&RET=M|3301|%D0%C7%BF%D5 bar|", true, "110101", "M", "3301", Utf8(u8"星空 bar")},
      {"CID=110101&RET=M|3301|A|B|", true, "110101", "M", "3301", "A|B"},  // "|" in the name
      {"CID=110101&RET=M|3301|", true, "110101", "M", "3301", ""},
      {"CID=110101&RET=M|3301", false, "", "", "", ""},
      {"CID=&RET=M|3301|x|", false, "", "", "", ""},
      {"RET=M|1|x|&CID=110101", false, "", "", "", ""},
      {"", false, "", "", "", ""},
      {"CID=' OR 1=1;--&RET='); DROP TABLE hits;--|1|x|", true, "' OR 1=1;--", "'); DROP TABLE hits;--", "1",
       "x"},
  };
  for (const Case& c : cases) {
    const auto hit = ParseHitReport(c.query);
    ASSERT_EQ(hit.has_value(), c.ok) << c.query;
    if (!hit) continue;
    EXPECT_EQ(hit->idNumber, c.id) << c.query;
    EXPECT_EQ(hit->mac, c.mac) << c.query;
    EXPECT_EQ(hit->barId, c.barId) << c.query;
    EXPECT_EQ(hit->barName, c.barName) << c.query;
  }
}

TEST(Notice, ReadsTheDatagramTheAssistantSends) {
  const std::string prefix(kNoticePrefix);
  const auto notice =
      ParseNotice(prefix + "Bid=3301,BarName=星空,网吧,BlackID=110101199003074477 #三  2024-01-02 盗窃财物");
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->barId, "3301");
  EXPECT_EQ(notice->barName, Utf8(u8"星空,网吧"));
  EXPECT_EQ(notice->entry, Utf8(u8"110101199003074477 #三  2024-01-02 盗窃财物"));

  // Only the notice's own shape is taken.
  EXPECT_FALSE(ParseNotice(prefix + "something else"));
  EXPECT_FALSE(ParseNotice(prefix));                                      // the empty notice
  EXPECT_FALSE(ParseNotice(prefix + "Bid=1,BlackID=y"));                  // no bar name
  EXPECT_FALSE(ParseNotice("Bid=1,BarName=x,BlackID=y"));                 // no prefix
  EXPECT_FALSE(ParseNotice(prefix.substr(0, 7)));                         // cut prefix
  EXPECT_FALSE(ParseNotice(prefix + std::string(kMaxNoticeBytes, 'x')));  // too long
}

// What a notice keeps is bounded whatever the datagram holds: a long entry,
// or control bytes that are stored written out four times as long.
TEST(Notice, KeepsAtMostAFewHundredBytes) {
  const std::string prefix(kNoticePrefix);
  struct Case {
    std::string body;
  } cases[] = {
      {"Bid=1,BarName=x,BlackID=" + std::string(4000, '7')},
      {"Bid=" + std::string(1000, '\x01') + ",BarName=" + std::string(1000, '\x02') + ",BlackID=" +
       std::string(1000, '\x03')},
      {"Bid=1,BarName=" + std::string(2000, '\xB0') + ",BlackID=1"},  // half characters: one GBK lead byte after another
  };
  for (const Case& c : cases) {
    const std::string datagram = (prefix + c.body).substr(0, kMaxNoticeBytes);
    const auto notice = ParseNotice(datagram);
    ASSERT_TRUE(notice) << c.body.substr(0, 40);
    EXPECT_LE(notice->text.size(), kNoticeTextBytes);
    EXPECT_LE(notice->barId.size(), kNoticeBarIdBytes);
    EXPECT_LE(notice->barName.size(), kNoticeBarNameBytes);
    EXPECT_LE(notice->entry.size(), kNoticeEntryBytes);
    EXPECT_LE(notice->text.size() + notice->barId.size() + notice->barName.size() + notice->entry.size(), 1088u);
  }
}

TEST(PercentDecode, LeavesBrokenEscapesAlone) {
  EXPECT_EQ(PercentDecode("a%20b"), "a b");
  EXPECT_EQ(PercentDecode("%4a%4A"), "JJ");
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%2"), "%2");
  EXPECT_EQ(PercentDecode("%zz"), "%zz");
}

}  // namespace
