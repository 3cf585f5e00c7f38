#include "settings/autorun.h"

#include <gtest/gtest.h>

#include "fakes/fake_registry.h"
#include "util/literal_table.h"

namespace {

const std::string kExe = "C:\\网吧收银\\Tollimer.exe";

class AutorunTest : public testing::Test {
 protected:
  void SetValue(const std::string& text) {
    registry_.Set(RegistryRoot::CurrentUser, Literal(lit::kAutorunKeyPath), Literal(lit::kAutorunValue), text);
  }
  std::string Value() const {
    const FakeRegistry::Value* v =
        registry_.Get(RegistryRoot::CurrentUser, Literal(lit::kAutorunKeyPath), Literal(lit::kAutorunValue));
    return v ? std::get<std::string>(*v) : "<none>";
  }
  FakeRegistry registry_;
};

TEST_F(AutorunTest, IsOnOnlyWhenTheValueNamesThisExecutable) {
  struct Case {
    const char* value;  // nullptr: no value
    bool on;
  } cases[] = {
      {nullptr, false},
      {"C:\\网吧收银\\Tollimer.exe", true},
      {"c:\\网吧收银\\TOLLIMER.EXE", true},  // ASCII letters in any case
      {";C:\\网吧收银\\Tollimer.exe", false},  // switched off earlier
      {"D:\\old\\Tollimer.exe", false},        // the executable moved since
      {"\"C:\\网吧收银\\Tollimer.exe\"", false},
  };
  for (const Case& c : cases) {
    FakeRegistry fresh;
    registry_ = fresh;
    if (c.value) SetValue(c.value);
    EXPECT_EQ(IsAutorunOn(registry_, kExe), c.on) << (c.value ? c.value : "(none)");
  }
}

TEST_F(AutorunTest, SwitchingOnWritesThePathOverAnOldEntry) {
  SetValue(";D:\\old\\Tollimer.exe");
  EXPECT_TRUE(Orv_AutorunClick(registry_, kExe, false, [] { return true; }));
  EXPECT_EQ(Value(), kExe);
  EXPECT_TRUE(IsAutorunOn(registry_, kExe));
}

TEST_F(AutorunTest, SwitchingOffAsksAndKeepsTheEntryBehindASemicolon) {
  SetValue(kExe);
  int asked = 0;
  EXPECT_TRUE(Orv_AutorunClick(registry_, kExe, true, [&] { return ++asked, false; }));
  EXPECT_EQ(Value(), kExe) << "answering No changes nothing";
  EXPECT_FALSE(Orv_AutorunClick(registry_, kExe, true, [&] { return ++asked, true; }));
  EXPECT_EQ(Value(), ";" + kExe);
  EXPECT_EQ(asked, 2);
}

TEST_F(AutorunTest, AFailedWriteKeepsTheCheckMark) {
  registry_.failWrites = true;
  EXPECT_FALSE(Orv_AutorunClick(registry_, kExe, false, [] { return true; }));
  EXPECT_TRUE(Orv_AutorunClick(registry_, kExe, true, [] { return true; }));
}

}  // namespace
