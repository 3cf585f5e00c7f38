// ConfirmWithCaptions: a question box whose Yes and No buttons carry captions
// of our own. Enter answers Yes (the default button), Escape answers No (the
// cancel button), and the close box gives IDCANCEL, which callers treat as
// "do nothing". A plain MessageBox cannot tell Escape from the close box.
#pragma once
#include <windows.h>

#include <string>

// Returns IDYES, IDNO or IDCANCEL. Makes `owner` not topmost first, so the
// box is not hidden behind it.
int ConfirmWithCaptions(HWND owner, const std::string& caption, const std::string& text,
                        const std::string& yesCaption, const std::string& noCaption);
