// The settings window's controls on the main window TOrv_Assistant: created
// from the control table of settings_panel.h, drawn with the window's font,
// and reporting clicks to the panel's logic. Group boxes are containers of
// their own (class "TGroupBox"), so the controls inside are greyed and made
// unusable with them, and a double-click on one can be caught.
#pragma once
#include <windows.h>

#include "desktop/settings_panel.h"

// The main window's style: fixed single border, system menu and minimise box.
inline constexpr DWORD kSettingsWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

class TSettingsPanelForm : public SettingsPanelView {
 public:
  TSettingsPanelForm() = default;
  TSettingsPanelForm(const TSettingsPanelForm&) = delete;
  TSettingsPanelForm& operator=(const TSettingsPanelForm&) = delete;
  ~TSettingsPanelForm() override;

  // Sizes `form` to the panel's client area, centres it on the primary
  // screen and creates the controls; clicks go to `handler`.
  bool Create(HWND form, SettingsPanel* handler);
  // A WM_COMMAND of the main window; true when it came from one of ours.
  bool OnCommand(WPARAM wParam, LPARAM lParam);
  HWND Control(PanelControl control) const { return controls_[static_cast<int>(control)]; }
  // The button Enter presses: saving the settings.
  int DefaultButtonId() const;

  bool Checked(PanelControl control) override;
  void SetChecked(PanelControl control, bool checked) override;
  std::string Text(PanelControl control) override;
  void SetText(PanelControl control, const std::string& text) override;
  int Selection(PanelControl control) override;
  void Select(PanelControl control, int index) override;
  void SetEnabled(PanelControl control, bool enabled) override;
  void SetVisible(PanelControl control, bool visible) override;
  void SetGroupActive(PanelControl group, bool active) override;
  std::optional<std::string> BrowseForFolder(const std::string& title,
                                             const std::string& startFolder) override;

 private:
  static constexpr int kControlCount = static_cast<int>(PanelControl::None);
  static LRESULT CALLBACK GroupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnGroupMessage(HWND group, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND CreateControl(const ControlLayout& layout);
  void AddHint(HWND control, const char* hint);

  HWND form_ = nullptr;
  SettingsPanel* handler_ = nullptr;
  HFONT font_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND controls_[kControlCount] = {};
  bool groupActive_[kControlCount] = {};
};
