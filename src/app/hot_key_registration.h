// The F11 hot key, registered at the end of start-up. After a self-update the
// previous release may still hold it then (it removes its backup for about
// 3 s before it ends), and a failed registration would leave F11 dead for the
// whole session: so a failed one is tried again on the first watch ticks
// until it succeeds.
#pragma once
#include <functional>

class ActivityLog;

// Watch ticks (about one second each) on which a failed registration is
// tried again.
inline constexpr int kHotKeyRetryTicks = 60;

class HotKeyRegistration {
 public:
  // tryRegister: one attempt, true when the key is ours from then on.
  // registered: told once, when an attempt succeeds.
  HotKeyRegistration(std::function<bool()> tryRegister, std::function<void()> registered, ActivityLog& log)
      : tryRegister_(std::move(tryRegister)), registered_(std::move(registered)), log_(log) {}

  // The attempt at the end of start-up (its outcome is in the start-up line).
  bool Start();
  // Every watch tick: while the key is not ours, one more attempt, on the
  // first kHotKeyRetryTicks ticks. One line is logged: at the success
  // ("HotKey=1,Tick=N"), or when the attempts run out ("HotKey=0,Tick=N").
  void OnWatchTick();

  bool Registered() const { return ours_; }

 private:
  bool Attempt();

  std::function<bool()> tryRegister_;
  std::function<void()> registered_;
  ActivityLog& log_;
  bool ours_ = false;
  int ticks_ = 0;
};
