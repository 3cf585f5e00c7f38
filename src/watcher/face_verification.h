// Watch-cycle step 3: the audit client's face-verification dialog. The step
// presses the dialog's face button for the cashier after a short wait, plays
// the voice prompt, shows the ID number and the camera picture to the
// customer on the extended screen (TfrmFaceCheck), presses once more when the
// button stays enabled and then alerts the cashier once. The blacklist check
// runs first, on every new dialog, and can end the cycle before anything is
// pressed.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/desktop.h"

class ActivityLog;
class Clock;
class FaceCheckForm;
class Registry;
class Sound;
struct RuntimeSwitches;
struct TCenterPar;

// Dialog, face button and ID edit; true when the ID is blacklisted and the
// watch cycle must end.
using BlacklistCheck = std::function<bool(Hwnd dialog, Hwnd faceButton, Hwnd idEdit)>;

class FaceVerification {
 public:
  struct Services {
    Desktop& desktop;
    Clock& clock;
    Sound& sound;
    Registry& registry;
    ActivityLog& log;
    FaceCheckForm& form;
  };

  FaceVerification(const Services& services, const TCenterPar& par, const RuntimeSwitches& switches)
      : s_(services), par_(par), switches_(switches) {}

  // The custom face sound in the program folder and its size in bytes as
  // measured at start-up; a size above 0 plays that file instead of "FACE".
  void SetCustomFaceSound(const std::string& path, long long size) {
    faceSoundPath_ = path;
    faceSoundSize_ = size;
  }
  void SetBlacklistCheck(BlacklistCheck check) { blacklistCheck_ = std::move(check); }

  // Step 3 of the watch cycle; true when the cycle must end (blacklist hit).
  bool Run();

  // Memory kept between ticks.
  Hwnd LastFaceDialog = 0;     // not to be pressed again; cleared once for the retry
  Hwnd FaceDialogSeen = 0;     // most recently pressed; another handle clears the retry state
  int TryFaceVeifyCount = 0;   // presses counted for the current dialog
  bool FaceFormPlaced = false; // TfrmFaceCheck shown for the current dialog
  bool FaceAlertGiven = false; // retry alert given for the current dialog
  Hwnd FacePreview = 0;        // camera preview of the current dialog

 private:
  struct Found {
    Hwnd dialog = 0;
    Hwnd button = 0;
    Hwnd idEdit = 0;
    std::int32_t buttonStyle = 0;
  };
  void PressNewDialog(const Found& f);
  void ShowFaceForm(const std::string& idText);
  void PlayPrompt();
  void RetryCheck(const Found& f);
  void HideFaceForm();
  void ResetRetryState();

  Services s_;
  const TCenterPar& par_;
  const RuntimeSwitches& switches_;
  BlacklistCheck blacklistCheck_;
  std::string faceSoundPath_;
  long long faceSoundSize_ = 0;
};

// Where the mouse press lands: this far right of and below the face
// button's client origin, inside the button rather than on its edge.
inline constexpr int kFaceClickOffsetX = 35;
inline constexpr int kFaceClickOffsetY = 5;
