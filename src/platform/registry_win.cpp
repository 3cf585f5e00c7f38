// The registry over advapi32's ANSI calls, so text stays in the system code
// page (GBK) both ways.
//
// Every key is opened in the 32-bit view (KEY_WOW64_32KEY): the billing
// console is a 32-bit program, so on 64-bit Windows its HKEY_LOCAL_MACHINE
// values live under WOW6432Node, and a 32-bit build of ours sees them there
// anyway. The flag makes the 64-bit build see the same values; keys that are
// shared between the views (HKEY_CURRENT_USER\Software) are unaffected.
#include <windows.h>

#include <vector>

#include "platform/registry.h"

namespace {

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Closes the key on every way out.
class KeyHolder {
 public:
  KeyHolder() = default;
  ~KeyHolder() {
    if (key_) RegCloseKey(key_);
  }
  KeyHolder(const KeyHolder&) = delete;
  KeyHolder& operator=(const KeyHolder&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

class Win32Registry : public Registry {
 public:
  explicit Win32Registry(RegistryMismatchHandler onMismatch) : onMismatch_(std::move(onMismatch)) {}

  std::string ReadString(RegistryRoot root, const std::string& path, const std::string& name,
                         const std::string& defaultValue) override {
    KeyHolder key;
    if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.out()) !=
        ERROR_SUCCESS) {
      return defaultValue;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return defaultValue;
    }
    if (type != REG_SZ) {
      Mismatch(name, "注册表数据类型不匹配:String");
      return defaultValue;
    }
    // One spare byte, so that a value stored without its NUL still ends.
    std::vector<char> data(static_cast<std::size_t>(size) + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS) {
      return defaultValue;
    }
    return std::string(data.data());  // up to the first NUL
  }

  std::uint32_t ReadDWord(RegistryRoot root, const std::string& path,
                          const std::string& name) override {
    KeyHolder key;
    if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.out()) !=
        ERROR_SUCCESS) {
      return 0;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return 0;
    }
    if (type != REG_DWORD) {
      Mismatch(name, "注册表数据类型不匹配:DWORD");
      return 0;
    }
    DWORD value = 0;
    DWORD got = sizeof(value);
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &got) != ERROR_SUCCESS) {
      return 0;
    }
    return value;
  }

  bool WriteString(RegistryRoot root, const std::string& path, const std::string& name,
                   const std::string& text) override {
    // The text and one terminating NUL.
    return Write(root, path, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  }

  bool WriteDWord(RegistryRoot root, const std::string& path, const std::string& name,
                  std::uint32_t value) override {
    DWORD data = value;
    return Write(root, path, name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
  }

 private:
  bool Write(RegistryRoot root, const std::string& path, const std::string& name, DWORD type,
             const BYTE* data, DWORD size) {
    KeyHolder key;
    char keyClass[] = "Data";
    DWORD disposition = 0;
    if (RegCreateKeyExA(RootKey(root), path.c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, key.out(),
                        &disposition) != ERROR_SUCCESS) {
      return false;
    }
    return RegSetValueExA(key.get(), name.c_str(), 0, type, data, size) == ERROR_SUCCESS;
  }

  void Mismatch(const std::string& name, const char* caption) {
    const std::string text = name + " Data type mismatch!";
    if (onMismatch_) {
      onMismatch_(text, caption);
    } else {
      MessageBoxA(nullptr, text.c_str(), caption, MB_ICONQUESTION | MB_OK);
    }
  }

  RegistryMismatchHandler onMismatch_;
};

}  // namespace

std::unique_ptr<Registry> MakeWin32Registry(RegistryMismatchHandler onMismatch) {
  return std::make_unique<Win32Registry>(std::move(onMismatch));
}
