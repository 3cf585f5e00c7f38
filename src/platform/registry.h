// The registry as the core needs it: read and write a text or a number under
// HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE. Implemented over advapi32's ANSI
// calls (platform/registry_win.cpp) and by a fake in the tests.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class RegistryRoot { CurrentUser, LocalMachine };

class Registry {
 public:
  virtual ~Registry() = default;

  // The REG_SZ text of value `name` under key `path`, cut at its first NUL;
  // `defaultValue` when the key or the value is missing. A value of any other
  // type (REG_EXPAND_SZ included) is reported to the user as a type mismatch
  // and reads as the default.
  virtual std::string ReadString(RegistryRoot root, const std::string& path,
                                 const std::string& name, const std::string& defaultValue) = 0;

  // The REG_DWORD value; 0 when missing, and 0 after a reported type mismatch.
  virtual std::uint32_t ReadDWord(RegistryRoot root, const std::string& path,
                                  const std::string& name) = 0;

  // Create the key when missing and write REG_SZ (text plus one NUL) or
  // REG_DWORD; true when the write succeeded. Nothing is shown on failure.
  [[nodiscard]] virtual bool WriteString(RegistryRoot root, const std::string& path,
                                         const std::string& name, const std::string& text) = 0;
  [[nodiscard]] virtual bool WriteDWord(RegistryRoot root, const std::string& path,
                                        const std::string& name, std::uint32_t value) = 0;
};

// Called on a type mismatch with the message box's text and caption.
using RegistryMismatchHandler =
    std::function<void(const std::string& text, const std::string& caption)>;

// The advapi32 registry; exists in the Windows tree only. Without a handler a
// mismatch shows a message box without owner window (question icon, OK) and
// waits until it is dismissed; tests pass a handler that records instead.
std::unique_ptr<Registry> MakeWin32Registry(RegistryMismatchHandler onMismatch = nullptr);
