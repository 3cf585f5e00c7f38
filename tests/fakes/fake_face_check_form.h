// The face-comparison window as a window of the fake desktop (so moves of it
// are recorded like any other), with its ID text, Timer2 and preview.
#pragma once
#include <string>

#include "fakes/fake_desktop.h"
#include "watcher/face_check_form.h"

class FakeFaceCheckForm : public FaceCheckForm {
 public:
  explicit FakeFaceCheckForm(FakeDesktop& desktop) : desktop_(desktop) {
    handle_ = desktop.Add("TfrmFaceCheck", "人脸比对中...");
    desktop.Get(handle_).visible = false;
  }
  std::string idText;
  bool timer2 = false;
  Hwnd preview = 0;

  Hwnd Handle() override { return handle_; }
  void SetIdText(const std::string& text) override { idText = text; }
  void Show() override {
    desktop_.actions.push_back("form show");
    desktop_.Get(handle_).visible = true;
  }
  void Hide() override {
    desktop_.actions.push_back("form hide");
    desktop_.Get(handle_).visible = false;
  }
  bool IsShown() override { return desktop_.Get(handle_).visible; }
  bool Timer2Enabled() override { return timer2; }
  void SetTimer2Enabled(bool enabled) override { timer2 = enabled; }
  void SetPreviewWindow(Hwnd window) override { preview = window; }

 private:
  FakeDesktop& desktop_;
  Hwnd handle_ = 0;
};
