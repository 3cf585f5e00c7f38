// Every window the simulator creates is subclassed here: the subclass records
// what the window receives (see events.h) and adds the little behaviour of the
// real programs that plain controls lack.
#pragma once

#include <windows.h>

enum class ClickAction {
  None,
  Close,    // the button ends its window, as a message box's buttons do
  Disable,  // the button disables itself, as the audit client's face button does once verified
};

struct WatchOptions {
  ClickAction onClick = ClickAction::None;
  bool hasFill = false;
  COLORREF fill = 0;  // solid client colour, so a screen capture of the window is recognisable
  bool moving = false;  // a camera preview: a new picture every half second (moving_picture.h)
  // Once, on the first WM_SETTEXT sent from another thread, before it is
  // handled: the simulator stops answering any message for this long, as a
  // client that hangs just as another program changes its texts (0: never).
  DWORD hangOnSetTextMs = 0;
};

void Watch(HWND hwnd, const WatchOptions& options);
bool IsWatched(HWND hwnd);
