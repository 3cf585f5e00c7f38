// Native stand-in for the code-page conversions, so the core's tests run with
// GBK as the ANSI code page on any machine: iconv, with "?" as the default
// character, the one Windows uses for code page 936.
#include "crypto/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kAnsi = "GBK";
constexpr std::size_t kWindowBytes = 1024;  // a multiple of 4: UTF-32 input is never cut

// The text up to its first NUL; too long for the Windows calls -> nothing, the
// same on both sides.
std::string_view UpToNul(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return text.size() > INT_MAX ? std::string_view() : text;
}

// A conversion descriptor of this thread, opened once. iconv_open loads the
// converter's module and iconv_close unloads it again when nothing else holds
// it, so a descriptor per call cost a dlopen, a dlclose and the unmapping's
// TLB shootdown on every conversion: most of a service exchange's time. A
// descriptor is not safe to share between threads, hence one set per thread.
iconv_t CachedConverter(const char* to, const char* from) {
  struct Cache {
    struct Entry {
      const char* to;
      const char* from;
      iconv_t cd;
    };
    std::vector<Entry> entries;
    ~Cache() {
      for (const Entry& e : entries) iconv_close(e.cd);
    }
  };
  thread_local Cache cache;
  for (const Cache::Entry& e : cache.entries) {
    if (std::strcmp(e.to, to) == 0 && std::strcmp(e.from, from) == 0) {
      iconv(e.cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return e.cd;
    }
  }
  iconv_t cd = iconv_open(to, from);
  if (cd != reinterpret_cast<iconv_t>(-1)) cache.entries.push_back({to, from, cd});
  return cd;
}

// Converts `in` from one encoding to another. Where iconv rejects the input
// (invalid, incomplete, or not held by the target), `skip` input bytes are
// passed over and `replacement` is written instead, as the Windows calls do.
std::string Convert(const char* to, const char* from, std::string_view in, std::size_t skip,
                    std::string_view replacement) {
  if (in.empty()) return {};
  iconv_t cd = CachedConverter(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};

  std::string input(in);  // iconv wants a non-const input pointer
  char* inPtr = input.data();
  std::size_t inLeft = input.size();
  std::string out(input.size() * 2 + 16, '\0');
  std::size_t used = 0;
  while (inLeft > 0) {
    // glibc converts through an internal form; after a rejected character it
    // redoes that step over all input handed to it, so hand it a window at a
    // time or garbage input would take quadratic time.
    std::size_t window = std::min(inLeft, kWindowBytes);
    std::size_t windowLeft = window;
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    std::size_t rc = iconv(cd, &inPtr, &windowLeft, &outPtr, &outLeft);
    inLeft -= window - windowLeft;
    used = out.size() - outLeft;
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else if (errno == EINVAL && windowLeft < inLeft) {
      continue;  // a character cut by the window, not by the input's end
    } else {
      // EILSEQ: a sequence that is invalid or has no place in the target.
      // EINVAL: a character cut short by the end of the input; all of it goes.
      std::size_t n = errno == EINVAL ? inLeft : std::min(skip, inLeft);
      inPtr += n;
      inLeft -= n;
      if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
      std::copy(replacement.begin(), replacement.end(), out.begin() + used);
      used += replacement.size();
    }
  }
  out.resize(used);
  return out;
}

}  // namespace

std::string Ansi_ToUtf8(std::string_view text) {
  // Every GBK character exists in UTF-8, so a rejected byte is one that is not
  // GBK at all; one byte at a time becomes "?".
  return Convert("UTF-8", kAnsi, UpToNul(text), 1, "?");
}

std::string Utf8_ToAnsi(std::string_view utf8) {
  // Two steps, like UTF-8 -> UTF-16 -> ANSI on Windows, so that a character
  // GBK lacks becomes one "?" however many UTF-8 bytes it takes, and a byte
  // that is not UTF-8 becomes U+FFFD first (which GBK lacks too: "?").
  std::string wide = Convert("UTF-32LE", "UTF-8", UpToNul(utf8), 1,
                             std::string_view("\xFD\xFF\x00\x00", 4));
  return Convert(kAnsi, "UTF-32LE", wide, 4, "?");
}
