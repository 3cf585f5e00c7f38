// The audit client's CTID window: the QR code a customer scans with a phone to
// log on with a network identity. The assistant moves the window onto the
// customer's screen when it appears, keeps its QR code fresh (the page must
// carry a "certToken" ticket, else the refresh button is clicked), lets the
// cashier refresh it from anywhere with F11, and, with the return switch on,
// sends it back to the cashier's screen after a countdown shown on its first
// button.
#pragma once
#include "platform/desktop.h"
#include "settings/position.h"
#include "settings/run_params.h"

class ActivityLog;
class PageReader;
class Registry;

inline constexpr const char* kCtidCaption = "网证CTID扫码上机";
inline constexpr const char* kCtidCaptionRzx = "任子行网证扫码上机";
inline constexpr const char* kCtidRefreshCaption = "刷新（F11）";
// Id of the F11 hot key that the main window registers.
inline constexpr int kCtidHotKeyId = 1012;
// What one send to the audit client, or the page request, may cost at most (ms).
inline constexpr int kCtidClientTimeoutMs = 1000;

// Results of Check_QRCode besides a "certToken" position (above 0), 0 (page
// read, no ticket), the plain variant's child handle and, in mode 1, the
// click's result.
enum CtidCheckResult : int {
  kCtidNotVisible = -1,
  kCtidNoBrowserHost = -2,
  kCtidNoDocumentView = -3,
  kCtidNoBrowserWindow = -4,
  kCtidNoDocument = -5,
  kCtidPageFailed = -6,
};

// Who asks: the F11 key, or the watch cycle and the task timer.
enum CtidMode : int { kCtidByHotKey = 1, kCtidAutomatic = 2 };

class CtidWindow {
 public:
  CtidWindow(Desktop& desktop, Registry& registry, ActivityLog& log, PageReader& page,
             const RuntimeSwitches& switches, const TCenterPar& par)
      : desktop_(desktop), registry_(registry), log_(log), page_(page), switches_(switches), par_(par) {}

  // Whether F11 is ours: only then is the refresh button re-captioned.
  void SetHotKeyRegistered(bool registered) { hotKeyRegistered_ = registered; }

  // The window captioned "网证CTID扫码上机", else "任子行网证扫码上机"; 0 when neither.
  Hwnd Find_CTIDWin();
  // Once per appearance: to the position remembered as "CTIDWin", topmost;
  // then the QR check and its log line (every cycle while nothing is
  // remembered or the move is refused).
  void Move_CTIDWin(int mode);
  // The QR check and, by mode, the refresh click; see CtidCheckResult.
  int Check_QRCode(int mode);
  // Once per watch cycle while the return switch is on: the countdown on the
  // first button, then the window back on the cashier's screen. The return
  // spot is right of centre when the main cashier window has been seen.
  void AutoReturnStep(bool mainCashierSeen);
  // A hot-key message: F11 refreshes; with the return switch on it also
  // brings the window back to the customer's screen and restarts the countdown.
  void OnHotKey(int id);

 private:
  void LogPageFailure(long context, unsigned long lastError, const std::string& message);
  int ReadPage(Hwnd browserWindow);

  Desktop& desktop_;
  Registry& registry_;
  ActivityLog& log_;
  PageReader& page_;
  const RuntimeSwitches& switches_;
  const TCenterPar& par_;

  bool hotKeyRegistered_ = false;
  int placed_ = 0;         // moved to the customer's screen during this appearance
  Hwnd placedWindow_ = 0;  // the window placed_ is about
  int returned_ = 0;       // sent back to the cashier's screen during this appearance
  Hwnd returnedWindow_ = 0;
  int returnCounter_ = 0;  // watch cycles counted towards the return; restarts on F11
  ScreenPosition position_;  // last position read or computed, for the log lines
  Hwnd firstButton_ = 0;     // the window's first button, as the last check found it
};
