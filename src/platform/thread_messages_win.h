// The one way this program's message loops hand a message on: windows that
// take the dialog keys (Tab between controls, Enter for the default button,
// Alt+letter for a button's mnemonic) get them first, everything else is
// translated and dispatched as usual. The main loop and the waits that pump
// messages call the same function, so the keys work in both.
#pragma once
#include <windows.h>

// Marks a top-level window whose controls take the dialog keys. Its window
// procedure answers DM_GETDEFID with its default button.
void TakeDialogKeys(HWND topLevel);

void DispatchThreadMessage(MSG& msg);
