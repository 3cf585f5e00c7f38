// Watch-cycle step 11: puts the windows the customer must use where the
// cashier wants them. The billing console's shift-handover window is centred
// on the primary screen; the app-activation QR window goes to the position
// the cashier saved for it ("OrvAppWin"). Each window is moved once per
// appearance, so the cashier can still drag it away by hand.
#pragma once
#include <functional>

#include "platform/desktop.h"
#include "settings/position.h"

class ActivityLog;
class Registry;
struct RuntimeSwitches;

// The handover window's size as the billing console makes it; the window
// itself is not measured.
inline constexpr int kHandoverWidth = 891;
inline constexpr int kHandoverHeight = 563;

class ExtendedScreenPlacement {
 public:
  ExtendedScreenPlacement(Desktop& desktop, Registry& registry, ActivityLog& log,
                          const RuntimeSwitches& switches)
      : desktop_(desktop), registry_(registry), log_(log), switches_(switches) {}

  // Between the handover window and the app QR window, when the CTID window
  // feature is on: the CTID window handling places its window here.
  std::function<void()> moveCtidWindow;

  // Step 11; the watch cycle calls it only while the extended-screen switch is on.
  void PlaceHandoverAndQrWindows();

  // First "CQrCodeActiveWnd", else the first "TCreateQRCodeFrm"; 0 when neither.
  Hwnd FindAppQrWindow();

  bool JiaoBanWinOK() const { return JiaoBanWinOK_; }
  bool OrvAppWinOK() const { return OrvAppWinOK_; }

 private:
  void CentreHandoverWindow();
  void PlaceAppQrWindow();

  Desktop& desktop_;
  Registry& registry_;
  ActivityLog& log_;
  const RuntimeSwitches& switches_;

  // The result of the last move of each window; cleared while it is not
  // visible, so every appearance is moved once.
  bool JiaoBanWinOK_ = false;
  bool OrvAppWinOK_ = false;
};

// The handover window's left and top on a primary screen of this size,
// truncated towards zero (negative on a screen smaller than the window).
ScreenPosition HandoverPosition(ScreenSize screen);

// A remembered position from the application key; `fallback` when absent.
ScreenPosition ReadRememberedPosition(Registry& registry, const char* name, const char* fallback);
