// The registry and INI halves over the real Win32 calls (under Wine with code
// page 936): GBK text survives both ways, defaults and type mismatches behave
// as the core expects, and a bare INI name means the current directory.
#include <gtest/gtest.h>

#include <direct.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "platform/registry.h"

// The ANSI code page; declared here so the test needs no <windows.h>. (The
// CRT's file calls stand in for <filesystem>, whose <chrono> does not compile
// with -fexec-charset=GBK.)
extern "C" __declspec(dllimport) unsigned int __stdcall GetACP(void);

namespace {

const std::string kKey = "Software\\TollimerTest\\RegistryIni";

TEST(Win32Registry, RoundTripsAndDefaults) {
  ASSERT_EQ(GetACP(), 936u) << "run under a prefix with code page 936 (see WINE-NOTES.md)";
  std::vector<std::string> shown;
  auto registry = MakeWin32Registry(
      [&](const std::string& text, const std::string& caption) { shown.push_back(caption + "|" + text); });

  for (RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
    EXPECT_TRUE(registry->WriteString(root, kKey, "Name", "星空网吧 A1"));
    EXPECT_TRUE(registry->WriteDWord(root, kKey, "Interval", 3600));
    EXPECT_EQ(registry->ReadString(root, kKey, "name", "-"), "星空网吧 A1");  // any case
    EXPECT_EQ(registry->ReadDWord(root, kKey, "Interval"), 3600u);
  }
  EXPECT_TRUE(registry->WriteString(RegistryRoot::CurrentUser, kKey, "Empty", ""));
  EXPECT_EQ(registry->ReadString(RegistryRoot::CurrentUser, kKey, "Empty", "-"), "");
  EXPECT_EQ(registry->ReadString(RegistryRoot::CurrentUser, kKey, "Missing", "-"), "-");
  EXPECT_EQ(registry->ReadString(RegistryRoot::CurrentUser, kKey + "\\None", "Name", "d"), "d");
  EXPECT_EQ(registry->ReadDWord(RegistryRoot::CurrentUser, kKey, "Missing"), 0u);
  EXPECT_TRUE(shown.empty());

  // A value of the other type: reported once, read as the default.
  EXPECT_EQ(registry->ReadString(RegistryRoot::CurrentUser, kKey, "Interval", "2"), "2");
  EXPECT_EQ(registry->ReadDWord(RegistryRoot::CurrentUser, kKey, "Name"), 0u);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "注册表数据类型不匹配:String|Interval Data type mismatch!");
  EXPECT_EQ(shown[1], "注册表数据类型不匹配:DWORD|Name Data type mismatch!");
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(Win32IniFile, ReadsWritesAndReportsFailedWrites) {
  auto ini = MakeWin32IniFile();
  const char* temp = std::getenv("TEMP");
  const std::string folder = std::string(temp ? temp : ".") + "\\tollimer_ini";
  _mkdir(folder.c_str());
  const std::string file = folder + "\\OrvBar.ini";
  std::remove(file.c_str());

  EXPECT_EQ(ini->ReadString(file, "Bar", "BarID", "-2"), "-2");  // no file yet
  EXPECT_TRUE(ini->WriteString(file, "Bar", "BarID", "123456"));
  EXPECT_TRUE(ini->WriteString(file, "Bar", "BarName", "@星空网吧"));
  EXPECT_EQ(ini->ReadString(file, "bar", "barid", "-2"), "123456");
  EXPECT_EQ(ini->ReadString(file, "Bar", "BarName", "-"), "@星空网吧");
  EXPECT_EQ(ini->ReadString(file, "Bar", "Missing", "-"), "-");
  EXPECT_NE(ReadAll(file).find("BarName=@星空网吧"), std::string::npos);  // GBK bytes on disk

  // A value longer than the first read buffer comes back whole.
  const std::string longValue(5000, 'x');
  EXPECT_TRUE(ini->WriteString(file, "Bar", "Long", longValue));
  EXPECT_EQ(ini->ReadString(file, "Bar", "Long", ""), longValue);

  // A file that cannot be written reports it. (A read-only attribute would
  // be the cashier-PC case, but Wine running as root writes such files anyway;
  // a folder that does not exist fails everywhere.)
  EXPECT_FALSE(ini->WriteString(folder + "\\missing\\OrvBar.ini", "Bar", "BarID", "999999"));
  EXPECT_EQ(ini->ReadString(file, "Bar", "BarID", "-2"), "123456");
  std::remove(file.c_str());
  _rmdir(folder.c_str());
}

TEST(Win32IniFile, BareNameMeansTheCurrentDirectory) {
  auto ini = MakeWin32IniFile();
  const std::string bare = "tollimer_bare_name_test.ini";
  std::remove(bare.c_str());
  EXPECT_TRUE(ini->WriteString(bare, "Server", "IP", "192.168.1.20"));
  char cwd[1024] = {};
  ASSERT_NE(_getcwd(cwd, sizeof(cwd)), nullptr);
  EXPECT_EQ(_access((std::string(cwd) + "\\" + bare).c_str(), 0), 0);
  EXPECT_EQ(ini->ReadString(bare, "Server", "IP", "127.0.0.1"), "192.168.1.20");
  std::remove(bare.c_str());
}

}  // namespace
