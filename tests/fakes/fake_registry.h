// An in-memory registry. Key paths and value names compare without regard to
// ASCII case, as in the real one; a value of the wrong type is recorded as the
// mismatch message the real registry would show, and reads as the default.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "platform/registry.h"
#include "util/text.h"

class FakeRegistry : public Registry {
 public:
  using Value = std::variant<std::string, std::uint32_t>;

  struct Message {
    std::string text;
    std::string caption;
  };
  std::vector<Message> mismatches;
  bool failWrites = false;  // every write fails, as for a key without access

  void Set(RegistryRoot root, const std::string& path, const std::string& name, Value value) {
    values_[Key(root, path, name)] = std::move(value);
  }
  const Value* Get(RegistryRoot root, const std::string& path, const std::string& name) const {
    auto it = values_.find(Key(root, path, name));
    return it == values_.end() ? nullptr : &it->second;
  }

  std::string ReadString(RegistryRoot root, const std::string& path, const std::string& name,
                         const std::string& defaultValue) override {
    const Value* v = Get(root, path, name);
    if (!v) return defaultValue;
    if (const auto* text = std::get_if<std::string>(v)) return text->substr(0, text->find('\0'));
    mismatches.push_back({name + " Data type mismatch!", "注册表数据类型不匹配:String"});
    return defaultValue;
  }

  std::uint32_t ReadDWord(RegistryRoot root, const std::string& path,
                          const std::string& name) override {
    const Value* v = Get(root, path, name);
    if (!v) return 0;
    if (const auto* number = std::get_if<std::uint32_t>(v)) return *number;
    mismatches.push_back({name + " Data type mismatch!", "注册表数据类型不匹配:DWORD"});
    return 0;
  }

  bool WriteString(RegistryRoot root, const std::string& path, const std::string& name,
                   const std::string& text) override {
    if (failWrites) return false;
    Set(root, path, name, text);
    return true;
  }

  bool WriteDWord(RegistryRoot root, const std::string& path, const std::string& name,
                  std::uint32_t value) override {
    if (failWrites) return false;
    Set(root, path, name, value);
    return true;
  }

 private:
  static std::tuple<RegistryRoot, std::string, std::string> Key(RegistryRoot root,
                                                                const std::string& path,
                                                                const std::string& name) {
    return {root, UpperAscii(path), UpperAscii(name)};
  }

  std::map<std::tuple<RegistryRoot, std::string, std::string>, Value> values_;
};
