// The minute timer's work: closes one stray window, keeps the CTID QR code
// fresh and, every ParamRefreshMinutes, asks the central service again.
#pragma once
#include <functional>

#include "settings/run_params.h"
#include "platform/desktop.h"

struct TaskHooks {
  std::function<void()> checkQrCode;      // CTID QR check, mode 2
  // Asks the central service again; its answer comes to OnRefreshResult.
  std::function<void()> callUpdate;
  std::function<void()> startSelfUpdate;  // when the refresh announces an update
};

class TaskTimer {
 public:
  TaskTimer(Desktop& desktop, const RuntimeSwitches& switches, const TCenterPar& par)
      : desktop_(desktop), switches_(switches), par_(par) {}

  TaskHooks& Hooks() { return hooks_; }
  // The result of the last central-service refresh (0 before the first).
  int UpdateState() const { return updateState_; }

  void Timer_TaskTimer();
  // The update state the refresh brought (-1, 1 or 2); 2 starts the update.
  void OnRefreshResult(int state);

 private:
  Desktop& desktop_;
  const RuntimeSwitches& switches_;
  const TCenterPar& par_;
  TaskHooks hooks_;
  int minuteCounter_ = 0;
  int updateState_ = 0;
};
