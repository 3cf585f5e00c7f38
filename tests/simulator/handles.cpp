#include "handles.h"

#include <cstdint>

#include "text.h"

std::string HandleText(HWND hwnd) {
  return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
}

bool ParseHandle(const std::string& text, HWND& hwnd) {
  unsigned long long value = 0;
  if (!ParseUnsigned(text, value) || value > UINTPTR_MAX) return false;
  hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
  return true;
}
