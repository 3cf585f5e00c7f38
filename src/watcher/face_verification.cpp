#include "watcher/face_verification.h"

#include "log/activity_log.h"
#include "platform/clock.h"
#include "platform/sound.h"
#include "settings/run_params.h"
#include "util/literal_table.h"
#include "util/text.h"
#include "watcher/face_check_form.h"
#include "watcher/placement.h"
#include "watcher/wave_sound.h"

bool FaceVerification::Run() {
  const std::string caption = Literal(lit::kFaceDialogCaption);
  Found f;
  f.dialog = s_.desktop.FindTopWindow("#32770", caption.c_str());

  if (f.dialog != 0 && s_.desktop.IsVisible(f.dialog)) {
    // The face button carries the dialog's own caption.
    f.button = s_.desktop.FindChild(f.dialog, "Button", caption.c_str());
    f.idEdit = s_.desktop.FindChild(f.dialog, "Edit", nullptr);
    FacePreview = s_.desktop.FindChild(f.dialog, "Static", "");
    s_.form.SetPreviewWindow(FacePreview);
    f.buttonStyle = s_.desktop.WindowStyle(f.button);

    if (f.dialog != LastFaceDialog) {
      // A dialog that replaced the last one between two ticks belongs to the
      // next customer: the previous one's ID number and picture leave the
      // customer's screen first, also when a blacklist hit ends the step.
      if (f.dialog != FaceDialogSeen) HideFaceForm();
      if (blacklistCheck_ && blacklistCheck_(f.dialog, f.button, f.idEdit)) return true;
      // It starts with its own count, alert and form: it must not inherit
      // the previous customer's alert.
      if (f.dialog != FaceDialogSeen) ResetRetryState();
      PressNewDialog(f);
    }
    RetryCheck(f);
  } else {
    HideFaceForm();
  }

  // A different dialog (or none) starts the retry count afresh.
  if (f.dialog != FaceDialogSeen) ResetRetryState();
  return false;
}

void FaceVerification::ResetRetryState() {
  TryFaceVeifyCount = 0;
  FaceFormPlaced = false;
  FaceAlertGiven = false;
}

void FaceVerification::PressNewDialog(const Found& f) {
  const std::string idText = s_.desktop.GetWindowTextOf(f.idEdit);

  int pressResult = -1;
  int pressX = 0, pressY = 0;
  if (par_.FaceClickMode > 0) {
    s_.clock.DelayWithMessages(par_.FaceClickDelay);
    s_.desktop.SetForeground(f.dialog);
    s_.clock.DelayWithMessages(50);
    if (par_.FaceClickMode == 1) {
      // No button, no message: a dialog without one has nothing to press.
      pressResult = f.button ? static_cast<int>(s_.desktop.ClickButton(f.button)) : 0;
    } else {
      int x = 0, y = 0;
      const bool converted = s_.desktop.ClientToScreenPoint(f.button, x, y);
      pressResult = converted ? 1 : 0;
      if (converted) {
        pressX = x;
        pressY = y;
        // The cursor stays where it clicked.
        s_.desktop.SetCursorPosition(x + kFaceClickOffsetX, y + kFaceClickOffsetY);
        s_.desktop.MouseButton(kMouseLeftDown);
        s_.desktop.MouseButton(kMouseLeftUp);
      }
    }
  }

  s_.log.WriteLog(FormatRuntime(Literal(lit::kFacePressLineFormat), HandleNumber(f.dialog),
                                HandleNumber(f.button), static_cast<int>(f.buttonStyle), pressResult,
                                pressX, pressY, HandleNumber(f.idEdit), idText.c_str()));
  FaceDialogSeen = f.dialog;
  LastFaceDialog = f.dialog;

  if (switches_.extendedScreen && switches_.Has(kFaceWindow)) ShowFaceForm(idText);
  PlayPrompt();
}

void FaceVerification::ShowFaceForm(const std::string& idText) {
  s_.clock.DelayWithMessages(50);
  const ScreenPosition at = ReadRememberedPosition(s_.registry, "FaceVeifyWin", "1024.150");
  if (at.IsSet() && !FaceFormPlaced) {
    s_.form.SetIdText(idText);
    s_.form.Show();
    FaceFormPlaced = s_.desktop.SetWindowPosition(s_.form.Handle(), kInsertTopmost, at.left, at.top, 3,
                                                  4, kNoSizeNoActivate);
    if (!s_.form.Timer2Enabled()) s_.form.SetTimer2Enabled(true);
  }
  s_.log.WriteLog(Format("srcWin.X=%d,srcWin.Y=%d,FaceVeifyWin.x=%d,FaceVeifyWin.y=%d", 0, 0, at.left,
                         at.top));
}

void FaceVerification::PlayPrompt() {
  const int played = faceSoundSize_ > 0
                         ? PlayWaveSound(s_.sound, s_.clock, "", faceSoundPath_, 1000)
                         : PlayWaveSound(s_.sound, s_.clock, "WAV", "FACE", 1000);
  s_.log.WriteLog(Format("PayWav=%d", played));
}

void FaceVerification::RetryCheck(const Found& f) {
  // A button that went through verification is disabled; one that was not
  // found is not enabled either.
  if (!s_.desktop.IsEnabled(f.button)) return;
  if (TryFaceVeifyCount == 0) {
    TryFaceVeifyCount = 1;
    LastFaceDialog = 0;  // the next tick presses once more
    s_.log.WriteLog(Format("TryFaceVeifyCount=%d,BtnStyle=%d", TryFaceVeifyCount + 1,
                           static_cast<int>(f.buttonStyle)));
    return;
  }
  ++TryFaceVeifyCount;
  if (FaceAlertGiven) return;
  FaceAlertGiven = true;
  s_.log.WriteLog(Format("eTryFaceVeifyCount=%d,BtnStyle=%d,srcWin.X=%d,srcWin.Y=%d",
                         TryFaceVeifyCount + 1, static_cast<int>(f.buttonStyle), 0, 0));
  PlayWaveSound(s_.sound, s_.clock, "WAV", "ERROR", 900);
  s_.desktop.DrawAlertFrame(f.button);
  PlayWaveSound(s_.sound, s_.clock, "WAV", "RETRY", 800);
}

void FaceVerification::HideFaceForm() {
  // A form hidden some other way (closed by hand) may still run Timer2.
  if (!s_.form.IsShown() && !s_.form.Timer2Enabled()) return;
  s_.form.SetTimer2Enabled(false);
  s_.form.SetIdText("");
  s_.form.Hide();
}
