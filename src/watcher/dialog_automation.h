// Answers the billing console's dialogs the way a cashier would: counts down
// and closes member-activation windows, confirms reminders when allowed,
// presses the help/security answers, closes error boxes and pre-selects the
// scan form and the points-and-rewards window. Each step runs once per watch
// tick and finds its window afresh by class and caption.
#pragma once
#include <functional>

#include "platform/desktop.h"

class ActivityLog;
class Clock;

// The two cashier choices from the notification-area menu; neither is stored.
struct DialogSwitches {
  int countdownSeconds = 15;  // 15, 8 or 3
  bool reminderOn = false;    // "点数不足自动确定(&P)"
};

// Answer of the reminder confirmation box (IDYES 6, IDNO 7, as Windows has them).
inline constexpr int kAnswerNo = 7;

class DialogAutomation {
 public:
  DialogAutomation(Desktop& desktop, Clock& clock, ActivityLog& log)
      : desktop_(desktop), clock_(clock), log_(log) {}

  DialogSwitches& Switches() { return switches_; }
  int ActivationCounter() const { return activationCounter_; }

  // Menu commands.
  void N5Click() { switches_.countdownSeconds = 15; }
  void N4Click() { switches_.countdownSeconds = 8; }
  void N3Click() { switches_.countdownSeconds = 3; }
  // Switching the reminder on asks first (askYesNo returns the box's answer);
  // any answer but No switches it on. Switching off asks nothing.
  void Point_TipClick(const std::function<int()>& askYesNo);

  // Watch-cycle steps, in the cycle's order.
  void PromptDialogStep();         // "提示"
  void CashierDialogsStep();       // activation countdown, reminder, "RwyCHlp"
  void ScanFormStep();
  void RuntimeLibraryErrorStep();
  void ServerErrorStep();
  void SerialPortErrorStep();
  void PointsWindowStep();
  void SecurityAlertStep();
  void SwipeErrorStep();

 private:
  void ActivationCountdown();
  void PointsReminder();
  void HelpDialog();
  // Logs a newly seen error box once; `last` keeps the last one logged.
  void LogErrorBoxOnce(const char* caption, const char* format, Hwnd& last);

  Desktop& desktop_;
  Clock& clock_;
  ActivityLog& log_;
  DialogSwitches switches_;

  int activationCounter_ = 0;
  // Windows already acted on: a different non-zero handle is a new window.
  Hwnd ScanFormWnd = 0;
  Hwnd lastVcErrWnd = 0;
  Hwnd lastSvrErrWnd = 0;
  Hwnd LastPointsWindow = 0;
};

// Captions of the billing console's two cashier windows.
extern const char* const kMainCashierCaption;
extern const char* const kSecondCashierCaption;
