// Creation of the windows the simulator imitates: top-level dialogs and
// windows, and their children. Every window made here is watched (watch.h).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "watch.h"

struct CreateOptions {
  bool hidden = false;
  std::optional<int> x, y, w, h;   // pixels; screen for top-level, parent client for children
  std::vector<std::string> items;  // GBK entries of a combo or list box
  WatchOptions watch;
};

// Each returns the new window, or nullptr with a reason.
HWND CreateSimDialog(const std::string& caption, const CreateOptions& options, std::string& reason);
HWND CreateSimWindow(const std::string& className, const std::string& caption, const CreateOptions& options,
                     std::string& reason);
HWND CreateSimChild(HWND parent, const std::string& className, const std::string& caption,
                    const CreateOptions& options, std::string& reason);
