// The desktop shortcut "Tollimer.lnk": made once the cafe's identity is known,
// only when missing, never updated or deleted.
#pragma once
#include <functional>
#include <string>
#include <string_view>

struct ShortcutRequest {
  std::string target;     // the executable's full path
  std::string arguments;  // none
  std::string linkPath;   // desktop folder + "Tollimer.lnk"
  int iconIndex = 0;
  std::string description;
};

// True when the path's extension, in upper case, is ".LNK".
bool IsLinkPath(std::string_view path);

// The message of the error CreateShortcut raises for any other path.
extern const char* const kNotALinkPathMessage;

// Start-up's rule: with a bar id of at least 6 characters and no file of the
// link's name on the desktop, `create` is called with the request.
// `desktopFolder` ends with "\".
void MakeDesktopShortcut(const std::string& barId, const std::string& desktopFolder,
                         const std::string& exePath, const std::function<bool(const std::string&)>& exists,
                         const std::function<void(const ShortcutRequest&)>& create);
