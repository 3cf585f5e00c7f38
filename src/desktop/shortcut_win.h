// CreateShortcut: a shell link (.lnk) written through IShellLinkA.
#pragma once
#include "desktop/shortcut.h"

// Throws std::runtime_error with kNotALinkPathMessage for a link path that
// does not end in ".lnk" (any case), and when the shell link object cannot be
// created. The setters' and the save's results are not checked: a failed save
// leaves the file missing, and the next start tries again.
void CreateShortcut(const ShortcutRequest& request);

// The current user's desktop folder with a trailing "\"; empty when the shell
// does not know it.
std::string DesktopFolder();
