// The one-second watch cycle: a fixed sequence of steps, each looking for one
// kind of window of the billing console or the audit client and acting on it.
// Timer1Timer (the main window's one-second timer) calls OnWatchTimer with the
// timer disabled, so a cycle never nests in another.
#pragma once
#include <functional>
#include <string>

#include "settings/run_params.h"
#include "platform/desktop.h"
#include "watcher/dialog_automation.h"

class ActivityLog;
class Clock;

// Work of other subsystems that the timer drives. A hook that is not set is
// skipped: each is filled by the subsystem that owns the work.
struct WatchHooks {
  // Loads the blacklist and logs the line prefix with the number of entries
  // (when the service's lines have come).
  std::function<void(const std::string& linePrefix)> loadBlacklist;
  std::function<void()> firstTickRan;        // after the first whole tick: the program is up
  std::function<void()> loadPictureLists;    // wallpaper carousel lists
  std::function<bool()> faceVerification;    // step 3; true ends the cycle (blacklist hit)
  // Inside step 3, once the face dialog, its button and its ID edit are found
  // and before anything is pressed: true when the ID is blacklisted and the
  // cycle must end.
  std::function<bool(Hwnd dialog, Hwnd faceButton, Hwnd idEdit)> blacklistCheck;
  std::function<void()> placeHandoverAndQrWindows;  // step 11
  std::function<void()> carouselStep;        // step 12, when the interval is reached
  std::function<void()> ctidReturnStep;      // step 13
};

class WatchCycle {
 public:
  WatchCycle(Desktop& desktop, Clock& clock, ActivityLog& log, const RuntimeSwitches& switches)
      : desktop_(desktop), clock_(clock), log_(log), switches_(switches),
        dialogs_(desktop, clock, log) {}

  WatchHooks& Hooks() { return hooks_; }
  DialogAutomation& Dialogs() { return dialogs_; }
  bool MainCashierSeen() const { return mainCashierSeen_; }

  // Carousel interval in seconds.
  void SetCarouselInterval(int seconds) { carouselInterval_ = seconds; }

  // One tick of the watch timer: the nightly blacklist reload, the first
  // tick's loading, then the cycle.
  void OnWatchTimer();
  void RunWatchCycle();

 private:
  Desktop& desktop_;
  Clock& clock_;
  ActivityLog& log_;
  const RuntimeSwitches& switches_;
  DialogAutomation dialogs_;
  WatchHooks hooks_;

  bool firstTickDone_ = false;
  bool firstTickReported_ = false;
  bool mainCashierSeen_ = false;
  int carouselInterval_ = 60;
  int carouselCounter_ = 0;
};
