#include "desktop/shortcut.h"

#include "app/commands.h"
#include "util/text.h"

const char* const kNotALinkPathMessage = "快捷方式的扩展名必须是 ′′LNK′′!";

bool IsLinkPath(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('\\', dot) != std::string_view::npos) return false;
  return UpperAscii(path.substr(dot)) == ".LNK";
}

void MakeDesktopShortcut(const std::string& barId, const std::string& desktopFolder,
                         const std::string& exePath, const std::function<bool(const std::string&)>& exists,
                         const std::function<void(const ShortcutRequest&)>& create) {
  if (barId.size() < 6) return;
  const std::string link = desktopFolder + "Tollimer.lnk";
  if (exists(link)) return;
  create({exePath, "", link, 0, kApplicationTitle});
}
