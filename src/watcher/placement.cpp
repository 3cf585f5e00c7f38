#include "watcher/placement.h"

#include "log/activity_log.h"
#include "platform/registry.h"
#include "settings/run_params.h"
#include "util/literal_table.h"
#include "util/text.h"

ScreenPosition HandoverPosition(ScreenSize screen) {
  return ScreenPosition{(screen.width - kHandoverWidth) / 2, (screen.height - kHandoverHeight) / 2};
}

ScreenPosition ReadRememberedPosition(Registry& registry, const char* name, const char* fallback) {
  return ParsePosition(
      registry.ReadString(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), name, fallback));
}

Hwnd ExtendedScreenPlacement::FindAppQrWindow() {
  Hwnd window = desktop_.FindTopWindow("CQrCodeActiveWnd", nullptr);
  if (window == 0) window = desktop_.FindTopWindow("TCreateQRCodeFrm", nullptr);
  return window;
}

void ExtendedScreenPlacement::PlaceHandoverAndQrWindows() {
  CentreHandoverWindow();
  if (switches_.Has(kCtidWindow) && moveCtidWindow) moveCtidWindow();
  if (switches_.Has(kAppQrWindow)) PlaceAppQrWindow();
}

void ExtendedScreenPlacement::CentreHandoverWindow() {
  const Hwnd window = desktop_.FindTopWindow("TFrmJiaoBan", nullptr);
  if (window == 0 || !desktop_.IsVisible(window)) {
    JiaoBanWinOK_ = false;
    return;
  }
  if (JiaoBanWinOK_) return;
  const ScreenPosition at = HandoverPosition(desktop_.PrimaryScreenSize());
  // Width and height are ignored: the flags keep the size.
  JiaoBanWinOK_ = desktop_.SetWindowPosition(window, kInsertNotTopmost, at.left, at.top, 3, 4,
                                             kNoSizeNoActivate);
  log_.WriteLog(Format("JiaoBanWinOK=%d,JiaoBanWnd.x=%d,JiaoBanWnd.y=%d", JiaoBanWinOK_ ? 1 : 0,
                       at.left, at.top));
}

void ExtendedScreenPlacement::PlaceAppQrWindow() {
  const Hwnd window = FindAppQrWindow();
  if (window == 0 || !desktop_.IsVisible(window)) {
    OrvAppWinOK_ = false;
    return;
  }
  if (OrvAppWinOK_) return;
  // Read at every use, so a position saved a moment ago applies at once.
  const ScreenPosition at = ReadRememberedPosition(registry_, "OrvAppWin", "0.0");
  if (at.IsSet()) {
    OrvAppWinOK_ = desktop_.SetWindowPosition(window, kInsertNotTopmost, at.left, at.top, 3, 4,
                                              kNoSizeNoActivate);
  }
  // Without a saved position this line comes on every tick while the window
  // is visible: it tells the cashier's helper the position is missing.
  log_.WriteLog(Format("OrvAppWinOK=%d,orvAPPWnd.x=%d,orvAPPWnd.y=%d", OrvAppWinOK_ ? 1 : 0, at.left,
                       at.top));
}
