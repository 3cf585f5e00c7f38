// PopupMenu1, the notification-area icon's command menu, in its order:
// about, settings, blacklist panel, points reminder, the three countdowns,
// autorun, exit or restart. Items carry the main window's command ids.
#pragma once
#include <windows.h>

HMENU CreateTrayMenu();

// The check marks as the state stands: the countdown radio items, the points
// reminder and autorun.
void UpdateTrayMenuChecks(HMENU menu, int countdownSeconds, bool pointTipOn, bool autorunOn);
