#include "app/machine_values.h"

#include "util/text.h"

std::string MacText(const unsigned char* address, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += Format("%02X", static_cast<unsigned>(address[i]));
  return text;
}

std::string DiskSerialText(const unsigned char* identify) {
  constexpr std::size_t kFirst = 20, kLength = 20;
  std::string serial;
  for (std::size_t i = kFirst; i < kFirst + kLength; i += 2) {
    serial += static_cast<char>(identify[i + 1]);
    serial += static_cast<char>(identify[i]);
  }
  auto blank = [](char c) { return c == ' ' || c == '\0'; };
  std::size_t begin = 0, end = serial.size();
  while (begin < end && blank(serial[begin])) ++begin;
  while (end > begin && blank(serial[end - 1])) --end;
  return serial.substr(begin, end - begin);
}

std::string FaceSoundInfo(long long size, const std::string& md5Text) {
  if (size <= 0) return "-";
  return md5Text + "." + std::to_string(size);
}
