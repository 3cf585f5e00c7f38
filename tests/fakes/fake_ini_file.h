// In-memory INI files. Sections and keys compare without regard to ASCII case,
// as with the profile calls. Every write is recorded in order; a file can be
// made read-only, and then writes to it fail. Like the profile calls, a write
// to a file it does not know creates it, so a test can see a stray write.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "util/text.h"

class FakeIniFile : public IniFile {
 public:
  struct Write {
    std::string file, section, key, value;
    bool operator==(const Write&) const = default;
  };
  std::vector<Write> writes;          // successful writes, in order
  std::set<std::string> readOnlyFiles;

  void Set(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value) {
    files_[file][UpperAscii(section)][UpperAscii(key)] = value;
  }
  // The stored value, or nullptr.
  const std::string* Get(const std::string& file, const std::string& section,
                         const std::string& key) const {
    auto f = files_.find(file);
    if (f == files_.end()) return nullptr;
    auto s = f->second.find(UpperAscii(section));
    if (s == f->second.end()) return nullptr;
    auto k = s->second.find(UpperAscii(key));
    return k == s->second.end() ? nullptr : &k->second;
  }

  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override {
    const std::string* v = Get(file, section, key);
    return v ? *v : defaultValue;
  }

  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) override {
    if (readOnlyFiles.count(file)) return false;
    Set(file, section, key, value);
    writes.push_back({file, section, key, value});
    return true;
  }

 private:
  std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> files_;
};
