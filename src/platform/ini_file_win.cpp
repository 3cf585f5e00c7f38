// INI files over the Windows profile calls (ANSI, so values stay GBK).
#include <windows.h>

#include <vector>

#include "platform/ini_file.h"

namespace {

// The profile calls look for a bare file name in the Windows folder; the
// program means the current directory, as Files::Exists does for the same
// name. A name with a folder in it is used as given.
std::string ProfilePath(const std::string& file) {
  if (file.find_first_of("\\/:") != std::string::npos) return file;
  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(file.c_str(), sizeof(full), full, nullptr);
  if (n == 0 || n >= sizeof(full)) return ".\\" + file;
  return std::string(full, n);
}

class Win32IniFile : public IniFile {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override {
    const std::string path = ProfilePath(file);
    // The call cuts a value that does not fit and reports size - 1; grow the
    // buffer until it fits (a value is at most 64 KiB there anyway).
    for (DWORD size = 1024;; size *= 4) {
      std::vector<char> buffer(size, '\0');
      DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                         buffer.data(), size, path.c_str());
      if (n < size - 1 || size >= 65536) return std::string(buffer.data(), n);
    }
  }

  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) override {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      ProfilePath(file).c_str()) != FALSE;
  }
};

}  // namespace

std::unique_ptr<IniFile> MakeWin32IniFile() { return std::make_unique<Win32IniFile>(); }
