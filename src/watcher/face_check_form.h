// The face-comparison window TfrmFaceCheck as the face step drives it: the
// customer sees the ID number and a copy of the audit client's camera picture
// on the extended screen. The Win32 form (face_check_form_win.h) does the
// drawing; the face step decides when it shows, where and what it mirrors.
#pragma once
#include <string>

#include "platform/desktop.h"

class FaceCheckForm {
 public:
  virtual ~FaceCheckForm() = default;

  // The form's own window, placed with Desktop::SetWindowPosition.
  virtual Hwnd Handle() = 0;
  // edt_CID.
  virtual void SetIdText(const std::string& text) = 0;
  virtual void Show() = 0;
  // Hides the form and lets go of what it showed: Timer2 stops, edt_CID is
  // emptied and the copied picture released, so the next customer never
  // sees this one's. Closing the form by hand does the same.
  virtual void Hide() = 0;
  virtual bool IsShown() = 0;
  // Timer2: while enabled, copies the preview window's picture every 100 ms.
  virtual bool Timer2Enabled() = 0;
  virtual void SetTimer2Enabled(bool enabled) = 0;
  // The window whose picture Timer2 copies; 0 copies nothing.
  virtual void SetPreviewWindow(Hwnd preview) = 0;
};
