// Autorun: a per-user value under the sign-in start-up key that names the
// executable. The menu item "开机自动运行(&R)" switches it; switching off
// keeps the entry but puts ";" before the path, so it no longer starts us.
#pragma once
#include <functional>
#include <string>

class Registry;

// True when the autorun value equals `exePath`, ASCII letters in any case.
bool IsAutorunOn(Registry& registry, const std::string& exePath);

// One click on the menu item whose check mark is `checked`; returns the check
// mark afterwards. Switching off asks `confirmSwitchOff` first (false: keep
// it on). A failed write leaves the check mark as it was.
bool Orv_AutorunClick(Registry& registry, const std::string& exePath, bool checked,
                      const std::function<bool()>& confirmSwitchOff);
