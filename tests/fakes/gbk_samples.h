// GBK texts with their UTF-8 forms, shared by the native and the Windows
// code-page tests so both halves are held to the same table.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// UTF-8 bytes of a u8 literal (narrow literals are GBK in this build).
inline std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct GbkSample {
  std::string gbk;
  std::string utf8;
};

// A long text: one mixed sample repeated `times` times, in both forms.
inline GbkSample RepeatedSample(int times) {
  GbkSample sample;
  for (int i = 0; i < times; ++i) {
    sample.gbk += "网吧Tollimer";
    sample.utf8 += Utf8(u8"网吧Tollimer");
  }
  return sample;
}

inline std::vector<GbkSample> GbkSamples() {
  return {
      {"", ""},
      {"Tollimer", "Tollimer"},
      {"网吧Tollimer", Utf8(u8"网吧Tollimer")},
      {"Orv网络计费系统 v7-主收银台", Utf8(u8"Orv网络计费系统 v7-主收银台")},
      {"点数不足提醒\r\n\t可疑名单", Utf8(u8"点数不足提醒\r\n\t可疑名单")},
      {"任子行（Rzx）：１２３", Utf8(u8"任子行（Rzx）：１２３")},
  };
}
