#include "central/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "central/command_client.h"
#include "central/release/release_file.h"
#include "central/service_client.h"
#include "central/store/store.h"
#include "crypto/codepage.h"
#include "fakes/gbk_samples.h"
#include "fakes/temp_dir.h"
#include "util/text.h"

namespace {

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

const std::vector<CommandShape> kTable = {
    {"serve", 0, {"--http-port=", "--port-file="}, "[--http-port N] [--port-file FILE]"},
    {"blacklist import", 1, {"--replace", "--force", "--utf8"}, "FILE [--replace [--force]] [--utf8]"},
    {"blacklist list", 0, {"--json"}, "[--json]"},
    {"params set", 2, {"--bar="}, "NAME VALUE [--bar ID]"},
    {"hits", 0, {"--days=", "--json"}, "[--days N] [--json]"},
};

struct LineCase {
  std::vector<std::string> arguments;
  const char* command;                          // the table's words; "" when refused or help
  std::vector<std::string> operands;
  std::map<std::string, std::string> options;
  const char* error;                            // part of the refusal; "" when taken
};

TEST(CommandLine, TakesOptionsAnywhereAndRefusesWhatTheCommandDoesNotTake) {
  const std::vector<LineCase> cases = {
      {{"hits", "--days", "3"}, "hits", {}, {{"--days", "3"}}, ""},
      {{"--days=3", "hits"}, "hits", {}, {{"--days", "3"}}, ""},
      {{"hits", "--config", "c.conf", "--data", "d"}, "hits", {}, {{"--config", "c.conf"}, {"--data", "d"}}, ""},
      {{"--data", "d", "params", "set", "delay", "5", "--bar", "3301"},
       "params set", {"delay", "5"}, {{"--data", "d"}, {"--bar", "3301"}}, ""},
      {{"params", "--bar", "3301", "set", "delay", "5"}, "params set", {"delay", "5"}, {{"--bar", "3301"}}, ""},
      {{"blacklist", "import", "f.txt", "--replace", "--utf8"},
       "blacklist import", {"f.txt"}, {{"--replace", "1"}, {"--utf8", "1"}}, ""},
      {{"blacklist", "import", "--", "--odd name.txt"}, "blacklist import", {"--odd name.txt"}, {}, ""},
      {{"params", "set", "offset", "-5"}, "params set", {"offset", "-5"}, {}, ""},
      // Refused: a typo never runs the command with its defaults.
      {{"hits", "--day", "1"}, "", {}, {}, "unknown option --day for `hits` (it takes --days VALUE, --json)"},
      {{"params", "set", "ctidreturn", "3", "--bars", "3303"}, "", {}, {}, "unknown option --bars"},
      {{"blacklist", "list", "--replace"}, "", {}, {}, "unknown option --replace for `blacklist list`"},
      {{"hits", "--days"}, "", {}, {}, "--days needs a value"},
      {{"hits", "--json=1"}, "", {}, {}, "--json takes no value"},
      {{"hits", "--days", "1", "--days", "2"}, "", {}, {}, "--days given twice"},
      {{"params", "set", "delay"}, "", {}, {}, "`params set` takes NAME VALUE [--bar ID], not `delay`"},
      {{"params", "set", "delay", "5", "6"}, "", {}, {}, "not `delay 5 6`"},
      {{"blacklist"}, "", {}, {}, "`blacklist` takes import, list"},
      {{"blacklist", "imprt", "f"}, "", {}, {}, "`blacklist` takes import, list, not `imprt`"},
      {{"frobnicate"}, "", {}, {}, "unknown command `frobnicate`"},
      {{"--data", "d"}, "", {}, {}, "no command given"},
      {{}, "", {}, {}, "no command given"},
  };
  for (const LineCase& c : cases) {
    const ParsedLine parsed = ParseCommandLine(kTable, c.arguments);
    const std::string line = Joined(c.arguments);
    if (*c.error) {
      EXPECT_EQ(parsed.command, -1) << line;
      EXPECT_NE(parsed.error.find(c.error), std::string::npos) << line << ": " << parsed.error;
      continue;
    }
    ASSERT_GE(parsed.command, 0) << line << ": " << parsed.error;
    EXPECT_STREQ(kTable[parsed.command].words, c.command) << line;
    EXPECT_EQ(parsed.operands, c.operands) << line;
    EXPECT_EQ(parsed.options, c.options) << line;
    EXPECT_EQ(parsed.error, "") << line;
  }
}

TEST(CommandLine, HelpAndVersionAnywhere) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"help"}, {"--help"}, {"-h"}, {"blacklist", "--help"}, {"hits", "--day", "1", "-h"}}) {
    EXPECT_TRUE(ParseCommandLine(kTable, arguments).help) << Joined(arguments);
  }
  const ParsedLine version = ParseCommandLine(kTable, {"--version"});
  EXPECT_TRUE(version.version);
  EXPECT_EQ(version.error, "");
  const std::string usage = CommandUsage(kTable);
  EXPECT_NE(usage.find("  blacklist import FILE [--replace [--force]] [--utf8]\n"), std::string::npos) << usage;
}

// The real program on a chain's store: what each command line does, and that
// a refused one leaves the store as it was.
class CentralCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = dir_.Path("data");
    ASSERT_EQ(Run("--data '" + data_ + "' init").code, 0);
    const std::string list = dir_.Write("seed.txt", Utf8_ToAnsi(Utf8(u8"11010519491231002X\t张三\t2024-01-02\t盗窃\r\n"
                                                                     u8"330102199003074415\t李四\t2024-01-02\t打架\r\n"
                                                                     u8"440301198001010012\t王五\t2024-01-02\t逃费\r\n")));
    ASSERT_EQ(Run("--data '" + data_ + "' blacklist import '" + list + "'").code, 0);
    ASSERT_EQ(Run("--data '" + data_ + "' params set interval 45").code, 0);
  }

  CentralRun Run(const std::string& arguments) const { return RunCentralIn(dir_.Dir(), arguments); }

  // What the chain's assistants get from the store.
  std::string Snapshot() const {
    return Run("--data '" + data_ + "' blacklist list").output + Run("--data '" + data_ + "' params list").output;
  }

  TempDir dir_{"central_command_line"};
  std::string data_;
};

struct ProgramCase {
  std::string arguments;  // {data}: the store's folder; {dir}: the scratch folder; files are in {dir}
  int code;
  std::string message;    // part of the output
  bool storeUnchanged;
};

TEST_F(CentralCommandLine, EachLineDoesWhatItSaysAndARefusedOneChangesNothing) {
  dir_.Write("empty.txt", "");
  dir_.Write("utf8.txt", Utf8(u8"11010519491231002X\t赵六六\t2024-01-02\t盗窃他人财物\r\n"
                              u8"330102199003074415\t钱七七\t2024-01-02\t打架斗殴闹事\r\n"));
  dir_.Write("one-bad.txt", Utf8_ToAnsi(Utf8(u8"11010519491231002X\t张三\t2024-01-02\t盗窃\r\n"
                                            u8"330102199003074415\t李四\t7.3.2024\t打架\r\n")));
  dir_.Write("two.txt", Utf8_ToAnsi(Utf8(u8"11010519491231002X\t张三\t2024-01-02\t盗窃\r\n"
                                        u8"330102199003074415\t李四\t2024-01-02\t打架\r\n")));
  dir_.Write("berlin.conf", "data_dir = " + data_ + "\ntime_zone = Europe/Berlin\n");
  dir_.Write("mars.conf", "data_dir = " + data_ + "\ntime_zone = Mars/Olympus\n");
  dir_.Write("base.conf", "\xEF\xBB\xBF" "data_dir = " + data_ + "\nservice_base = http://tollimer.example.com:8080/tollimer\n");
  const std::vector<ProgramCase> cases = {
      // A replace that would lose the list.
      {"--data {data} blacklist import {dir}/empty.txt --replace", 1, "the blacklist keeps its 3 entries", true},
      {"--data {data} blacklist import {dir}/one-bad.txt --replace", 1, "1 lines refused; the blacklist keeps", true},
      {"--data {data} blacklist import {dir}/utf8.txt --replace", 1, "utf8.txt looks like UTF-8 text: give --utf8", true},
      {"--data {data} blacklist import {dir}/utf8.txt", 0, "looks like UTF-8", false},
      {"--data {data} blacklist import {dir}/two.txt --replace", 0, "replaced 3 entries with 2, refused 0 lines", false},
      {"--data {data} blacklist import {dir}/one-bad.txt --replace --force", 0, "replaced 3 entries with 1", false},
      {"--data {data} blacklist import {dir}/empty.txt --replace --force", 0, "replaced 3 entries with 0", false},
      {"--data {data} blacklist import {dir}/utf8.txt --replace --utf8", 0, "replaced 3 entries with 2", false},
      // Options anywhere; unknown ones refused.
      {"blacklist list --data {data}", 0, "\n330102199003074415 #", true},
      {"--data {data} params set ctidreturn 3 --bars 3303", 1, "unknown option --bars for `params set`", true},
      {"--data {data} params set interval 30 --bar", 1, "--bar needs a value", true},
      {"--data {data} hits --day 1", 1, "unknown option --day for `hits`", true},
      {"--data {data} blacklist remove", 1, "`blacklist remove` takes ID", true},
      {"--data {data} blacklist", 1, "`blacklist` takes import, list, remove", true},
      {"--data {data} frobnicate", 1, "unknown command `frobnicate`", true},
      // No store made by a listing, nor in a folder that is not there.
      {"--data {dir}/mistyped installs", 1, "no data folder {dir}/mistyped", true},
      {"installs --data {dir}/mistyped", 1, "no data folder {dir}/mistyped", true},
      {"--data {dir}/mistyped params set interval 5", 1, "no data folder", true},
      {"--config /dev/null installs", 1, "no data folder tollimer-data", true},
      {"--data {dir} hits", 1, "no store in {dir}", true},
      // A backup never lands in the data folder.
      {"--data {data} backup {data}/copy.db", 1, "inside the data folder", true},
      {"--data {data} backup {dir}/data/../data/central.db", 1, "inside the data folder", true},
      {"--data {data} backup {dir}/copy.db", 0, "backed up to", true},
      {"--version", 0, "tollimer-central ", true},
      {"--data {data} hits --version", 0, "(SQLite 3.", true},
      // Times in the chain's zone, as the status page shows them, and the
      // zone named.
      {"--data {data} hits", 0, "time (Asia/Shanghai)\tid\t", true},
      {"--config {dir}/berlin.conf notices", 0, "time (Europe/Berlin)\taddress\t", true},
      {"--config {dir}/mars.conf hits", 0, "times in UTC: cannot read /usr/share/zoneinfo/Mars/Olympus", true},
      // A configuration file with a byte-order mark is read; a bad value
      // says what the name takes.
      {"--config {dir}/base.conf config", 1, "bad value for service_base: the assistants' base address, such as "
                                             "http://tollimer.example.com:8080/tollimer/, ending in \"/\" expected", true},
  };
  const std::string before = Snapshot();
  ASSERT_NE(before.find("440301198001010012"), std::string::npos) << before;
  for (const ProgramCase& c : cases) {
    const std::string arguments = ReplaceAll(ReplaceAll(c.arguments, "{data}", data_, true), "{dir}", dir_.Dir(), true);
    const CentralRun run = Run(arguments);
    const std::string message = ReplaceAll(ReplaceAll(c.message, "{data}", data_, true), "{dir}", dir_.Dir(), true);
    EXPECT_EQ(run.code, c.code) << arguments << ": " << run.output;
    EXPECT_NE(run.output.find(message), std::string::npos)
        << arguments << ": " << run.output;
    if (c.storeUnchanged) {
      EXPECT_EQ(Snapshot(), before) << arguments;
    } else {
      // Back to the fixture's list for the next line.
      ASSERT_EQ(Run("--data '" + data_ + "' blacklist import '" + dir_.Path("seed.txt") + "' --replace").code, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("mistyped"))) << arguments;
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("tollimer-data"))) << arguments;
  }
  EXPECT_EQ(Snapshot(), before);
}

// `release remove` takes a release by its whole checksum and keeps, unless
// told --force, the current release and one that installations still run.
TEST_F(CentralCommandLine, ReleaseRemoveTakesOnlyAWholeChecksumAndKeepsWhatIsInUse) {
  struct Release {
    const char* file;
    std::string bytes;
    std::string crc;
  };
  Release releases[] = {{"old.exe", FakeExecutable(0x14C, "old", 0x0001000000000002), ""},
                        {"new.exe", FakeExecutable(0x14C, "new", 0x0001000000000003), ""},
                        {"x64.exe", FakeExecutable(0x8664, "x64", 0x0001000000000003), ""}};
  for (Release& r : releases) {
    r.crc = DescribeRelease(r.bytes)->crc;
    ASSERT_EQ(Run("--data '" + data_ + "' release add --unsigned '" + dir_.Write(r.file, r.bytes) + "'").code, 0);
  }
  {
    // An installation still runs the old build.
    std::string error;
    const auto store = CentralStore::Open(data_ + "/central.db", error);
    ASSERT_TRUE(store) << error;
    InstallReport report;
    report.mac = "00E04C6A1B2C";
    report.diskSerial = "WD-9";
    report.barId = "3301";
    report.versionCrc = releases[0].crc;
    ASSERT_TRUE(store->RecordInstall(report, "10.0.0.9", 0, 1700000000));
  }
  const std::string oldCrc = releases[0].crc, newCrc = releases[1].crc, x64Crc = releases[2].crc;
  std::string oldLower = oldCrc;
  std::transform(oldLower.begin(), oldLower.end(), oldLower.begin(), [](char c) { return std::tolower(c); });
  const std::vector<ProgramCase> cases = {
      {"release remove " + oldCrc.substr(0, 7), 1, "a release's checksum of 8 hex digits expected", true},
      {"release remove ../central", 1, "a release's checksum of 8 hex digits expected", true},
      {"release remove 0BADF00D", 1, "no release 0BADF00D (`release list` shows them); nothing removed", true},
      {"release remove " + newCrc, 1, "is the current one for x86: add its successor first", true},
      {"release remove " + oldCrc, 1, "is still run by 1 installations", true},
      {"release list", 0, oldCrc + "\t1.0.0.2\tx86\t", true},
      {"release list --json", 0, "\"version\": \"1.0.0.3\"", true},
      {"release remove " + oldLower + " --force", 0, "removed release " + oldCrc + " (1.0.0.2, x86, ", false},
      {"release remove " + x64Crc + " --force", 0, "which was current: no release is offered for x64 now", false},
      {"release remove " + oldCrc + " --force", 1, "no release " + oldCrc, true},
  };
  for (const ProgramCase& c : cases) {
    const std::string before = Run("--data '" + data_ + "' release list").output;
    const CentralRun run = Run("--data '" + data_ + "' " + c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments << ": " << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << ": " << run.output;
    if (c.storeUnchanged) {
      EXPECT_EQ(Run("--data '" + data_ + "' release list").output, before) << c.arguments;
    }
  }
  const std::string left = Run("--data '" + data_ + "' release list").output;
  EXPECT_EQ(left.find(oldCrc), std::string::npos) << left;
  EXPECT_NE(left.find(newCrc + "\t1.0.0.3\tx86\t"), std::string::npos) << left;
  for (const std::string& gone : {oldCrc, x64Crc}) {
    EXPECT_FALSE(std::filesystem::exists(data_ + "/releases/" + gone + ".bin")) << gone;
  }
  EXPECT_TRUE(std::filesystem::exists(data_ + "/releases/" + newCrc + ".bin"));
}

TEST_F(CentralCommandLine, StoreAndBackupsAreNotReadableByOthersWhateverTheUmask) {
  const std::string data = dir_.Path("open");
  ASSERT_EQ(RunCentralIn(dir_.Dir(), "--data '" + data + "' init", 0).code, 0);
  ASSERT_EQ(RunCentralIn(dir_.Dir(), "--data '" + data + "' backup '" + dir_.Path("copy.db") + "'", 0).code, 0);
  for (const std::string& file : {data + "/central.db", dir_.Path("copy.db"), data}) {
    struct stat st{};
    ASSERT_EQ(stat(file.c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_mode & 0027, 0u) << file << " has mode " << std::oct << (st.st_mode & 0777);
  }
}

}  // namespace
