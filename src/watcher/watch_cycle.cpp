#include "watcher/watch_cycle.h"

#include "log/activity_log.h"
#include "platform/clock.h"
#include "util/literal_table.h"
#include "util/text.h"

void WatchCycle::OnWatchTimer() {
  // The nightly reload runs only when a tick falls within 00:00:01; a slow
  // cycle can skip that second and with it the day's reload.
  const LocalTime now = clock_.Now();
  if (now.hour == 0 && now.minute == 0 && now.second == 1 && hooks_.loadBlacklist) {
    hooks_.loadBlacklist("Reload BlackList=");
  }

  if (!firstTickDone_) {
    firstTickDone_ = true;
    // The lists load at once, whatever the central service says and however
    // long it takes: an update it announces is applied when it is ready, and
    // until then no swiped ID may pass unchecked.
    if (switches_.carousel && hooks_.loadPictureLists) hooks_.loadPictureLists();
    if (hooks_.loadBlacklist) hooks_.loadBlacklist("Load BlackList=");
  }

  RunWatchCycle();
  if (!firstTickReported_) {
    firstTickReported_ = true;
    if (hooks_.firstTickRan) hooks_.firstTickRan();
  }
}

void WatchCycle::RunWatchCycle() {
  // 1. Prompt dialog.
  dialogs_.PromptDialogStep();

  // 2. The billing console's dialogs, only while one of its cashier windows exists.
  Hwnd cashier = desktop_.FindTopWindow(nullptr, kMainCashierCaption);
  if (cashier != 0) {
    mainCashierSeen_ = true;
  } else {
    cashier = desktop_.FindTopWindow(nullptr, kSecondCashierCaption);
  }
  if (cashier != 0) dialogs_.CashierDialogsStep();

  // 3. Face verification and the blacklist check; a blacklist hit ends the
  // cycle so that nothing in the marked dialog is pressed.
  if (hooks_.faceVerification && hooks_.faceVerification()) return;

  // 4-10. Forms and error boxes.
  dialogs_.ScanFormStep();
  dialogs_.RuntimeLibraryErrorStep();
  dialogs_.ServerErrorStep();
  dialogs_.SerialPortErrorStep();
  dialogs_.PointsWindowStep();
  dialogs_.SecurityAlertStep();
  dialogs_.SwipeErrorStep();

  // 11. Moves to the extended screen.
  if (switches_.extendedScreen && hooks_.placeHandoverAndQrWindows) {
    hooks_.placeHandoverAndQrWindows();
  }

  // 12. Wallpaper carousel.
  if (switches_.carousel) {
    if (++carouselCounter_ >= carouselInterval_) {
      carouselCounter_ = 0;
      if (hooks_.carouselStep) hooks_.carouselStep();
    }
  }

  // 13. Return of the CTID window to the cashier screen.
  if (switches_.ctidReturn && hooks_.ctidReturnStep) hooks_.ctidReturnStep();
}
