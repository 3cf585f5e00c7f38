// The settings window TOrv_Assistant as the cashier uses it: the optional
// features switched on and off, the two picture folders and the carousel's
// layout, and one button that saves it all and remembers where the windows
// on the customer's screen stand. The controls (their places and texts) are
// described here; what a click does is decided here; the Win32 form
// (settings_panel_win.h) only draws them and reports the clicks.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"

class ActivityLog;
class Clock;
class FaceCheckForm;
class PictureFiles;
class Registry;
class WallpaperCarousel;
struct RuntimeSwitches;
struct SettingsModel;

// The window's client area and font (96 pixels per inch).
inline constexpr int kPanelClientWidth = 546;
inline constexpr int kPanelClientHeight = 392;
inline constexpr const char* kPanelFontName = "MS Sans Serif";
inline constexpr int kPanelFontHeight = -16;

// Every control, in creation order, which is also the tab and z-order: a
// check box sitting on the top edge of its group box comes first, so it is
// drawn over the frame.
enum class PanelControl : int {
  chk_AutoMoveScreen,
  grp_ExpConfig,
  chk_CTID,
  chk_orvAPP,
  chk_rzxFace,
  chk_CTIDSwitch,
  chk_DeskWallpaper,
  grp_deskConfig,
  Label4,
  edt_topPicPath,
  btn_topBrowse,
  Label1,
  edt_bgPicPath,
  btn_bgBrowse,
  Label5,
  cbb_topPos,
  Label2,
  cbb_style,
  Label3,
  cbb_Interval,
  btn_picTest,
  btn_SaveConfig,
  None,  // "no parent": placed on the window's client area
};

enum class ControlKind { CheckBox, GroupBox, Label, Edit, Button, DropDownList };

struct ControlLayout {
  PanelControl id;
  const char* name;
  ControlKind kind;
  PanelControl parent;  // a group box, or None
  int left, top, width, height;  // pixels, relative to the parent's client area
  const char* caption;
  int tag;           // the feature bit of a feature check box, else 0
  const char* hint;  // tool tip, or nullptr
  bool enabled;      // at creation
  bool visible;      // at creation
};

// The controls in creation order (PanelControl order).
const std::vector<ControlLayout>& PanelControls();
const ControlLayout& LayoutOf(PanelControl control);
// A drop-down list's items, in order; empty for other controls.
std::vector<std::string> ComboItems(PanelControl control);

// The controls as the panel's logic reads and sets them; the Win32 form and a
// test fake implement it.
class SettingsPanelView {
 public:
  virtual ~SettingsPanelView() = default;
  virtual bool Checked(PanelControl control) = 0;
  // Sets the mark without running the click handler.
  virtual void SetChecked(PanelControl control, bool checked) = 0;
  virtual std::string Text(PanelControl control) = 0;
  virtual void SetText(PanelControl control, const std::string& text) = 0;
  // A drop-down list's selected index; -1 when none.
  virtual int Selection(PanelControl control) = 0;
  virtual void Select(PanelControl control, int index) = 0;
  virtual void SetEnabled(PanelControl control, bool enabled) = 0;
  virtual void SetVisible(PanelControl control, bool visible) = 0;
  // A group box's font colour, black when active and grey when not (the
  // controls inside take it over), and its enabled state, which makes every
  // control inside unusable while it is off.
  virtual void SetGroupActive(PanelControl group, bool active) = 0;
  // The shell's folder browser owned by the window, file-system folders
  // only, opened at `startFolder` when that names one. The chosen folder's
  // path as the shell gives it (no trailing "\" except at a drive root);
  // nullopt on cancel.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title,
                                                     const std::string& startFolder) = 0;
};

struct SettingsPanelContext {
  SettingsPanelView& view;
  Desktop& desktop;
  Registry& registry;
  ActivityLog& log;
  Clock& clock;
  PictureFiles& files;
  WallpaperCarousel& carousel;
  RuntimeSwitches& switches;
  FaceCheckForm& faceForm;
  SettingsModel& model;
};

// The work area's height less this is where the CTID window is parked when
// it returns to the cashier's screen; a save never remembers that spot.
inline constexpr int kCtidParkedFromBottom = 300;

class SettingsPanel {
 public:
  explicit SettingsPanel(SettingsPanelContext context) : c_(context) {}

  // Filled by the owner: the windows whose positions a save captures, where
  // a saved interval takes effect, and the bar id a save stores.
  std::function<Hwnd()> findCtidWindow;
  std::function<Hwnd()> findAppQrWindow;
  std::function<void(int seconds)> setCarouselInterval;
  std::function<std::string()> barId;

  // Start-up, after LoadSettings: the folders and the three list selections
  // from the settings model.
  void ShowLoadedSettings();
  // Start-up: the monitor count in the extended-screen caption, the feature
  // bits on the check boxes and in the runtime switches, the group boxes
  // active or greyed, and the save button usable.
  void ApplySettings();
  // Start-up, once F11 is registered (or not).
  void ShowHotKey(bool registered);
  // After a carousel step or the first tick's loading, which decide whether
  // the test button and the style list are usable.
  void ShowCarouselState();

  // A click on a control (check boxes, buttons); other controls ignore it.
  void OnClick(PanelControl control);
  // A double-click on grp_ExpConfig, with the Shift key's state at that moment.
  void grp_ExpConfigDblClick(bool shiftDown);

  void chk_AutoMoveScreenClick();
  void chk_DeskWallpaperClick();
  void btn_topBrowseClick();
  void btn_bgBrowseClick();
  void btn_picTestClick();
  // SaveSettings.
  void btn_SaveConfigClick();

 private:
  void BrowseFolder(bool upper);
  void SetTestButton(bool enabled);
  void SetStyleBox(bool enabled);
  int CheckedTag(PanelControl control);
  void CapturePositions();

  SettingsPanelContext c_;
  bool saving_ = false;  // a save is waiting out its pause
};
