#include "app/task_timer.h"

#include "util/literal_table.h"

void TaskTimer::Timer_TaskTimer() {
  // Posted, not sent: the stray window's owner may be busy, and the minute
  // timer must not wait for it.
  Hwnd stray = desktop_.FindTopWindow(nullptr, Literal(lit::kStrayWindowCaption).c_str());
  if (stray != 0) desktop_.PostClose(stray);

  if (switches_.extendedScreen && switches_.Has(kCtidWindow) && hooks_.checkQrCode) {
    hooks_.checkQrCode();
  }

  // A period of 1 or less refreshes every minute.
  if (++minuteCounter_ >= par_.ParamRefreshMinutes) {
    minuteCounter_ = 0;
    if (hooks_.callUpdate) hooks_.callUpdate();
  }
}

void TaskTimer::OnRefreshResult(int state) {
  updateState_ = state;
  if (updateState_ == 2 && hooks_.startSelfUpdate) hooks_.startSelfUpdate();
}
