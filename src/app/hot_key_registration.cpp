#include "app/hot_key_registration.h"

#include "log/activity_log.h"
#include "util/text.h"

bool HotKeyRegistration::Attempt() {
  ours_ = tryRegister_();
  if (ours_) registered_();
  return ours_;
}

bool HotKeyRegistration::Start() { return Attempt(); }

void HotKeyRegistration::OnWatchTick() {
  if (ours_ || ticks_ >= kHotKeyRetryTicks) return;
  ++ticks_;
  if (Attempt()) {
    log_.WriteLog(Format("HotKey=1,Tick=%d", ticks_));
  } else if (ticks_ == kHotKeyRetryTicks) {
    log_.WriteLog(Format("HotKey=0,Tick=%d", ticks_));
  }
}
