#include "desktop/shortcut_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>

namespace {

// Balances CoInitialize on every way out, a thrown error included.
class OleScope {
 public:
  OleScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~OleScope() {
    if (initialised_) CoUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  bool initialised_;
};

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  return wide;
}

}  // namespace

void CreateShortcut(const ShortcutRequest& request) {
  if (!IsLinkPath(request.linkPath)) throw std::runtime_error(kNotALinkPathMessage);
  OleScope ole;
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(link.out())))) {
    throw std::runtime_error("ShellLink");
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out())))) {
    throw std::runtime_error("IPersistFile");
  }
  const std::string folder = request.target.substr(0, request.target.rfind('\\') + 1);
  link->SetIconLocation(request.target.c_str(), request.iconIndex);
  link->SetPath(request.target.c_str());
  link->SetArguments(request.arguments.c_str());
  link->SetWorkingDirectory(folder.c_str());
  link->SetDescription(request.description.c_str());
  file->Save(Wide(request.linkPath).c_str(), FALSE);
}

std::string DesktopFolder() {
  char path[MAX_PATH * 2] = {};
  if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE)) return {};
  std::string folder = path;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}
