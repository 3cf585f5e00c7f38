// Bar identity: the lookup in the billing console's installation, and the
// start-up query against a loopback billing server with its answer cached in
// the bar-identity file.
#include "billing/bar_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_billing_server.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini_file.h"
#include "fakes/fake_registry.h"
#include "log/activity_log.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

const RegistryRoot HKLM = RegistryRoot::LocalMachine;
const RegistryRoot HKCU = RegistryRoot::CurrentUser;

// A cashier PC: registry, files, INI contents, clock and the activity log.
struct World {
  FakeRegistry registry;
  FakeIniFile ini;
  FakeFiles files;
  FakeClock clock;  // 2024-03-07 09:05:03.045
  ActivityLog log{files, clock};
  BillingLink link{registry, ini, files, clock, log};

  World() {
    files.folders.insert("C:\\prog\\LOGS\\");
    log.SetSwitch(true, "C:\\prog\\");
  }
  std::string LogText() { return files.files["C:\\prog\\LOGS\\2024-03-07.TXT"]; }

  void MainConsole(const std::string& folder) {
    registry.Set(HKLM, Literal(lit::kConsoleKeyPath), Literal(lit::kConsoleFolderValue), folder);
  }
  void V8Values(const std::string& barId, const std::string& barName) {
    registry.Set(HKLM, Literal(lit::kConsoleKeyPath), Literal(lit::kV8BarIdValue), barId);
    registry.Set(HKLM, Literal(lit::kConsoleKeyPath), Literal(lit::kV8BarNameValue), barName);
  }
  void OtherConsole(const std::string& folder) {
    registry.Set(HKCU, Literal(lit::kOtherConsoleKeyPath), Literal(lit::kOtherConsoleFolderValue),
                 folder);
  }
  void File(const std::string& path) { files.files[path] = ""; }
  void BarFile(const std::string& folder) { File(folder + Literal(lit::kBarIdentityFile)); }
  void BarKey(const std::string& folder, const auto& key, const std::string& value) {
    ini.Set(folder + Literal(lit::kBarIdentityFile), Literal(lit::kBarIdentitySection),
            Literal(key), value);
  }
  void HostFile(const std::string& folder, const char* address) {
    File(folder + Literal(lit::kHostFile));
    if (address) {
      ini.Set(folder + Literal(lit::kHostFile), Literal(lit::kHostSection), Literal(lit::kHostKey),
              address);
    }
  }
};

TEST(Read_BarIdentity, FromTheBillingConsoleInstallation) {
  struct Case {
    const char* name;
    void (*setUp)(World&);
    const char* folder;
    const char* barId;
    const char* barName;
  };
  const Case cases[] = {
      {"V8 installation", [](World& w) {
         w.MainConsole("C:\\Orv");
         w.File("C:\\Orv\\" + Literal(lit::kV8MarkerFile));
         w.V8Values("1234567", "星空网吧");
       }, "C:\\Orv\\", "1234567", "V8:星空网吧"},
      {"V8 installation without its values", [](World& w) {
         w.MainConsole("C:\\Orv");
         w.File("C:\\Orv\\" + Literal(lit::kV8MarkerFile));
       }, "C:\\Orv\\", "", "V8:"},
      {"other console with a bar-identity file", [](World& w) {
         w.MainConsole("C:\\Orv");  // no marker there: not V8
         w.OtherConsole("D:\\Console\\");
         w.BarFile("D:\\Console\\");
         w.BarKey("D:\\Console\\", lit::kBarIdKey, "654321");
         w.BarKey("D:\\Console\\", lit::kBarNameKey, "@abc");
       }, "D:\\Console\\", "654321", "@abc"},
      {"bar-identity file without its keys", [](World& w) {
         w.OtherConsole("D:\\Console\\");
         w.BarFile("D:\\Console\\");
       }, "D:\\Console\\", "-2", "-"},
      {"other console without a bar-identity file", [](World& w) {
         w.OtherConsole("D:\\Console\\");
       }, "D:\\Console\\", "-1", ""},
      {"nothing installed", [](World&) {}, "", "-1", ""},
      {"empty folder value: bare file name", [](World& w) {
         w.BarFile("");
         w.BarKey("", lit::kBarIdKey, "777777");
       }, "", "777777", "-"},
      {"no main folder value: no marker lookup at the drive root", [](World& w) {
         w.File("\\" + Literal(lit::kV8MarkerFile));
         w.V8Values("1234567", "x");
       }, "", "-1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    c.setUp(w);
    BarIdentity identity;
    identity.barName = "stale";
    Read_BarIdentity(w.registry, w.ini, w.files, identity);
    EXPECT_EQ(identity.consoleFolder, c.folder);
    EXPECT_EQ(identity.barId, c.barId);
    EXPECT_EQ(identity.barName, c.barName);
    EXPECT_TRUE(w.registry.mismatches.empty());
  }
}

TEST(Read_BarIdentity, FolderValueOfTheWrongTypeIsReportedAndReadsAsMissing) {
  World w;
  w.registry.Set(HKLM, Literal(lit::kConsoleKeyPath), Literal(lit::kConsoleFolderValue),
                 std::uint32_t{7});
  w.OtherConsole("D:\\Console\\");
  BarIdentity identity;
  Read_BarIdentity(w.registry, w.ini, w.files, identity);
  ASSERT_EQ(w.registry.mismatches.size(), 1u);
  EXPECT_EQ(w.registry.mismatches[0].text, Literal(lit::kConsoleFolderValue) + " Data type mismatch!");
  EXPECT_EQ(w.registry.mismatches[0].caption, "注册表数据类型不匹配:String");
  EXPECT_EQ(identity.consoleFolder, "D:\\Console\\");
  EXPECT_EQ(identity.barId, "-1");
}

TEST(ParseGetInfoReply, NameValueLines) {
  struct Case {
    const char* reply;
    const char* number;
    const char* clientName;
  };
  const Case cases[] = {
      {"Number=123456\r\nClientName=abc", "123456", "abc"},
      {"Number=1\nClientName=b", "1", "b"},
      {"Number=1\rClientName=b\r", "1", "b"},
      {"number=42\r\nCLIENTNAME=x", "42", "x"},
      {"Number=1\r\nNumber=2\r\nClientName=a=b", "1", "a=b"},
      {"Other=1\r\n\r\nNoEquals\r\nClientName=星空", "", "星空"},
      {" Number=1\r\nNumber =2", "", ""},  // names are not trimmed
      {"Number=", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    GetInfoReply r = ParseGetInfoReply(c.reply);
    EXPECT_EQ(r.number, c.number) << c.reply;
    EXPECT_EQ(r.clientName, c.clientName) << c.reply;
  }
}

constexpr int kTimeoutMs = 250;
const std::string kFolder = "D:\\Console\\";

BarIdentity Unknown() {
  BarIdentity identity;
  identity.consoleFolder = kFolder;
  return identity;  // bar id "-1"
}

TEST(Query_BarIdentity, MissingHostFileGivesNoHostIP) {
  World w;
  BarIdentity identity = Unknown();
  EXPECT_EQ(Query_BarIdentity(w.link, identity, kTimeoutMs), kNoHostIP);
  EXPECT_EQ(identity.barId, "45000");
  EXPECT_EQ(identity.barName, "NoHostIP");
  EXPECT_NE(w.LogText().find("ret=45000,barid=45000,barname=NoHostIP\r\n"), std::string::npos)
      << w.LogText();
}

TEST(Query_BarIdentity, LongEnoughBarIdMeansNoQuery) {
  FakeBillingServer server(FakeBillingServer::Reply::Good, false, "Number=999999");
  for (const char* barId : {"123456", "1234567"}) {
    World w;
    w.link.port = server.port();
    w.HostFile(kFolder, "127.0.0.1");
    BarIdentity identity = Unknown();
    identity.barId = barId;
    identity.barName = "V8:星空网吧";
    EXPECT_EQ(Query_BarIdentity(w.link, identity, kTimeoutMs), 0);
    EXPECT_EQ(identity.barId, barId);
    EXPECT_EQ(identity.barName, "V8:星空网吧");
    EXPECT_EQ(w.LogText().find("ret="), std::string::npos);
  }
  EXPECT_EQ(server.connections(), 0);
}

TEST(Query_BarIdentity, AnswerIsCachedOnlyInAnExistingWritableBarFile) {
  const std::string barFile = kFolder + Literal(lit::kBarIdentityFile);
  const std::string section = Literal(lit::kBarIdentitySection);
  const std::vector<FakeIniFile::Write> cached = {
      {barFile, section, Literal(lit::kBarIdKey), "123456"},
      {barFile, section, Literal(lit::kBarNameKey), "@abc"},
      {barFile, section, Literal(lit::kBarFlagKey), "1"},
      {barFile, section, Literal(lit::kBarTimeKey), "20240307090503"},
  };
  enum class BarFile { Existing, Missing, ReadOnly };
  struct Case {
    const char* name;
    BarFile barFile;
    const char* hostAddress;  // nullptr: the host file has no address key
    std::vector<FakeIniFile::Write> writes;
    bool writeFailureLogged;
  };
  const Case cases[] = {
      {"existing file", BarFile::Existing, "127.0.0.1", cached, false},
      {"no bar-identity file", BarFile::Missing, "127.0.0.1", {}, false},
      {"read-only bar-identity file", BarFile::ReadOnly, "127.0.0.1", {}, true},
      {"host file without address: loopback", BarFile::Existing, nullptr, cached, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBillingServer server(FakeBillingServer::Reply::Good, true,
                             "Number=123456\r\nClientName=abc");
    World w;
    w.link.port = server.port();
    w.HostFile(kFolder, c.hostAddress);
    if (c.barFile != BarFile::Missing) w.BarFile(kFolder);
    if (c.barFile == BarFile::ReadOnly) w.ini.readOnlyFiles.insert(barFile);

    BarIdentity identity = Unknown();
    EXPECT_EQ(Query_BarIdentity(w.link, identity, kTimeoutMs), kSessionOk);
    EXPECT_EQ(identity.barId, "123456");
    EXPECT_EQ(identity.barName, "@abc");
    EXPECT_EQ(w.ini.writes, c.writes);
    EXPECT_EQ(w.LogText().find("WriteBarIni=0") != std::string::npos, c.writeFailureLogged);
    EXPECT_NE(w.LogText().find("ret=40000,barid=123456,barname=@abc\r\n"), std::string::npos)
        << w.LogText();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].cmd, kCmdGetInfo);
  }
}

TEST(Query_BarIdentity, FailedQueryPutsCodeAndMessageInTheIdentity) {
  const std::uint16_t closedPort = [] {
    FakeBillingServer gone(FakeBillingServer::Reply::Good);
    return gone.port();
  }();
  struct Case {
    const char* name;
    FakeBillingServer::Reply reply;
    const char* hostAddress;
    int code;
    const char* message;  // "%d": the port
  };
  using R = FakeBillingServer::Reply;
  const Case cases[] = {
      {"nothing listens", R::Good, "127.0.0.1", kProbeTimedOut, "连接主机超时127.0.0.1:%d"},
      {"host is a name", R::Good, "localhost", kProbeTimedOut, "连接主机超时localhost:%d"},
      {"reply without data", R::DataLenZero, "127.0.0.1", kBadDataLen, "接收GetInfo数据:0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBillingServer server(c.reply);
    World w;
    const bool listening = c.code != kProbeTimedOut;
    w.link.port = listening ? server.port() : closedPort;
    w.HostFile(kFolder, c.hostAddress);
    w.BarFile(kFolder);
    BarIdentity identity = Unknown();
    EXPECT_EQ(Query_BarIdentity(w.link, identity, kTimeoutMs), c.code);
    EXPECT_EQ(identity.barId, Format("%d", c.code));
    EXPECT_EQ(identity.barName, Format(c.message, w.link.port));
    EXPECT_TRUE(w.ini.writes.empty());
    EXPECT_NE(w.LogText().find(Format("ret=%d,barid=%d,barname=", c.code, c.code) +
                               identity.barName + "\r\n"),
              std::string::npos);
  }
}

TEST(Login, ReplyWithoutNamesGivesEmptyIdAndBareAt) {
  FakeBillingServer server(FakeBillingServer::Reply::Good, false, "Other=1");
  World w;
  w.link.port = server.port();
  w.HostFile(kFolder, "127.0.0.1");
  std::string msg;
  std::string barId = "-1";
  std::string barName;
  EXPECT_EQ(Login(w.link, kFolder, msg, barId, barName, kTimeoutMs), kSessionOk);
  EXPECT_EQ(msg, "Other=1");
  EXPECT_EQ(barId, "");
  EXPECT_EQ(barName, "@");
}

}  // namespace
