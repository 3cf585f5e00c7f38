// A camera preview stand-in: a control that repaints a new picture every
// half second (a colour field crossed by a moving white bar and black bar),
// so a copy that follows it can be told from a copy that stood still.
#pragma once

#include <windows.h>

constexpr UINT_PTR kMovingPictureTimer = 0x7A11;
constexpr UINT kMovingPictureInterval = 500;  // ms between pictures

void StartMovingPicture(HWND hwnd);
void AdvanceMovingPicture(HWND hwnd);  // on its timer
void PaintMovingPicture(HWND hwnd, HDC dc);
