// TfrmFaceCheck: the face-comparison window on the customer's screen. It shows
// the swiped ID number and, ten times a second while Timer2 runs, a copy of
// the audit client's camera preview, so the customer can see the picture and
// the instructions. Closing it by hand only hides it; every way it is hidden
// lets go of the customer's picture and ID number and stops Timer2.
#pragma once
#include <windows.h>

#include "watcher/face_check_form.h"

class TfrmFaceCheck : public FaceCheckForm {
 public:
  TfrmFaceCheck() = default;
  TfrmFaceCheck(const TfrmFaceCheck&) = delete;
  TfrmFaceCheck& operator=(const TfrmFaceCheck&) = delete;
  ~TfrmFaceCheck() override;

  // Creates the hidden window, owned by `owner` (no taskbar button of its own).
  bool Create(HWND owner);

  Hwnd Handle() override { return reinterpret_cast<Hwnd>(hwnd_); }
  void SetIdText(const std::string& text) override;
  void Show() override;
  void Hide() override;
  bool IsShown() override;
  bool Timer2Enabled() override { return timer2On_; }
  void SetTimer2Enabled(bool enabled) override;
  void SetPreviewWindow(Hwnd preview) override { preview_ = reinterpret_cast<HWND>(preview); }

  // One copy of the preview into Image1 (Timer2's work).
  void Timer2Timer();
  HWND Image1() const { return img_; }

  // Client size and the controls' places, in client pixels.
  static constexpr int kClientWidth = 703;
  static constexpr int kClientHeight = 611;
  static constexpr int kImageWidth = 640;
  static constexpr int kImageHeight = 480;

 private:
  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ImageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // Stops Timer2, empties edt_CID and releases Image1's picture.
  void LetGo();
  void PaintImage(HWND image);
  void CreateControls();

  HWND hwnd_ = nullptr;
  HWND edt_CID_ = nullptr;
  HWND lbl_tip_ = nullptr;
  HWND panel_ = nullptr;
  HWND img_ = nullptr;
  HWND preview_ = nullptr;
  HFONT boldFont_ = nullptr;  // Label2, edt_CID
  HFONT tipFont_ = nullptr;   // lbl_tip
  HBRUSH silverBrush_ = nullptr;
  HBITMAP picture_ = nullptr;  // Image1's picture; replaced on every copy
  bool timer2On_ = false;
};
