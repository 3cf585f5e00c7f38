#include "desktop/settings_panel.h"

#include <iterator>

#include "desktop/carousel.h"
#include "log/activity_log.h"
#include "platform/clock.h"
#include "platform/picture_files.h"
#include "platform/registry.h"
#include "settings/position.h"
#include "settings/run_params.h"
#include "settings/settings.h"
#include "util/literal_table.h"
#include "util/text.h"
#include "watcher/face_check_form.h"

namespace {

using P = PanelControl;
using K = ControlKind;

// A label is as wide as its three characters at the window's font.
constexpr int kLabelWidth = 48;
constexpr int kLabelHeight = 20;

const std::vector<ControlLayout> kControls = {
    {P::chk_AutoMoveScreen, "chk_AutoMoveScreen", K::CheckBox, P::None, 24, 7, 217, 25, "转移到扩展屏:",
     kExtendedScreen, "功能需要双屏幕支持!", true, true},
    {P::grp_ExpConfig, "grp_ExpConfig", K::GroupBox, P::None, 8, 16, 529, 105, "", 0, nullptr, true, true},
    {P::chk_CTID, "chk_CTID", K::CheckBox, P::grp_ExpConfig, 15, 48, 162, 25, "网证二维码", kCtidWindow,
     nullptr, true, true},
    {P::chk_orvAPP, "chk_orvAPP", K::CheckBox, P::grp_ExpConfig, 198, 48, 177, 25, "Orv扫码激活",
     kAppQrWindow, nullptr, true, true},
    {P::chk_rzxFace, "chk_rzxFace", K::CheckBox, P::grp_ExpConfig, 381, 48, 140, 25, "人脸识别",
     kFaceWindow, "此功能需要双屏幕支持!", true, true},
    {P::chk_CTIDSwitch, "chk_CTIDSwitch", K::CheckBox, P::grp_ExpConfig, 15, 72, 170, 25, "网证自动回屏",
     kCtidReturn, "疫情防控使用(F11跳到外屏)", true, false},
    {P::chk_DeskWallpaper, "chk_DeskWallpaper", K::CheckBox, P::None, 24, 135, 153, 25, "桌面图片轮播",
     kWallpaperCarousel, nullptr, true, true},
    {P::grp_deskConfig, "grp_deskConfig", K::GroupBox, P::None, 8, 144, 529, 185, "", 0, nullptr, true, true},
    {P::Label4, "Label4", K::Label, P::grp_deskConfig, 13, 37, kLabelWidth, kLabelHeight, "上层：", 0, nullptr,
     true, true},
    {P::edt_topPicPath, "edt_topPicPath", K::Edit, P::grp_deskConfig, 64, 32, 361, 28, "", 0,
     "如网吧LOGO、价格表...", true, true},
    {P::btn_topBrowse, "btn_topBrowse", K::Button, P::grp_deskConfig, 435, 28, 81, 33, "浏 览", 0, nullptr, true,
     true},
    {P::Label1, "Label1", K::Label, P::grp_deskConfig, 13, 85, kLabelWidth, kLabelHeight, "底层：", 0, nullptr,
     true, true},
    {P::edt_bgPicPath, "edt_bgPicPath", K::Edit, P::grp_deskConfig, 64, 80, 361, 28, "", 0, "背景图片", true,
     true},
    {P::btn_bgBrowse, "btn_bgBrowse", K::Button, P::grp_deskConfig, 435, 78, 81, 33, "浏 览", 0, nullptr, true,
     true},
    {P::Label5, "Label5", K::Label, P::grp_deskConfig, 13, 137, kLabelWidth, kLabelHeight, "位置：", 0, nullptr,
     true, true},
    {P::cbb_topPos, "cbb_topPos", K::DropDownList, P::grp_deskConfig, 64, 132, 70, 28, "", 0, "上图层位置", true,
     true},
    {P::Label2, "Label2", K::Label, P::grp_deskConfig, 157, 137, kLabelWidth, kLabelHeight, "效果：", 0, nullptr,
     true, true},
    {P::cbb_style, "cbb_style", K::DropDownList, P::grp_deskConfig, 208, 132, 70, 28, "", 0, "底图层效果", true,
     true},
    {P::Label3, "Label3", K::Label, P::grp_deskConfig, 305, 137, kLabelWidth, kLabelHeight, "间隔：", 0, nullptr,
     true, true},
    {P::cbb_Interval, "cbb_Interval", K::DropDownList, P::grp_deskConfig, 355, 132, 70, 28, "", 0, nullptr, true,
     true},
    {P::btn_picTest, "btn_picTest", K::Button, P::grp_deskConfig, 435, 128, 81, 33, "测 试", 0, nullptr, false,
     true},
    {P::btn_SaveConfig, "btn_SaveConfig", K::Button, P::None, 111, 343, 120, 33, "保存配置(&S)", 0, nullptr,
     false, true},
};

// The check boxes whose tags make up the feature bits.
constexpr PanelControl kFeatureBoxes[] = {P::chk_AutoMoveScreen, P::chk_CTID,          P::chk_orvAPP,
                                          P::chk_rzxFace,        P::chk_DeskWallpaper, P::chk_CTIDSwitch};

constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;

}  // namespace

const std::vector<ControlLayout>& PanelControls() { return kControls; }

const ControlLayout& LayoutOf(PanelControl control) { return kControls.at(static_cast<std::size_t>(control)); }

std::vector<std::string> ComboItems(PanelControl control) {
  std::vector<std::string> items;
  switch (control) {
    case P::cbb_topPos:
      for (const char* item : kPositionItems) items.emplace_back(item);
      break;
    case P::cbb_style:
      for (const StyleEntry& entry : kStyleTable) items.emplace_back(entry.item);
      break;
    case P::cbb_Interval:
      for (const IntervalEntry& entry : kIntervalTable) items.emplace_back(entry.item);
      break;
    default:
      break;
  }
  return items;
}

void SettingsPanel::ShowLoadedSettings() {
  c_.view.SetText(P::edt_bgPicPath, c_.model.bgPicPath);
  c_.view.SetText(P::edt_topPicPath, c_.model.topPicPath);
  c_.view.Select(P::cbb_topPos, c_.model.topPosIndex);
  c_.view.Select(P::cbb_Interval, c_.model.intervalIndex);
  c_.view.Select(P::cbb_style, c_.model.styleIndex);
}

void SettingsPanel::ApplySettings() {
  c_.view.SetText(P::chk_AutoMoveScreen, Format("记忆双屏幕显示位置[%d]", c_.desktop.MonitorCount()));
  for (PanelControl box : kFeatureBoxes) {
    c_.view.SetChecked(box, (c_.model.featureBits & LayoutOf(box).tag) != 0);
  }
  c_.switches.Apply(c_.model.featureBits);
  chk_AutoMoveScreenClick();
  chk_DeskWallpaperClick();
  c_.view.SetEnabled(P::btn_SaveConfig, true);
}

void SettingsPanel::ShowHotKey(bool registered) {
  if (registered) c_.view.SetText(P::chk_CTID, "网证二维码[F11]");
}

void SettingsPanel::ShowCarouselState() {
  c_.view.SetEnabled(P::btn_picTest, c_.carousel.testButtonEnabled);
  c_.view.SetEnabled(P::cbb_style, c_.carousel.styleBoxEnabled);
}

void SettingsPanel::OnClick(PanelControl control) {
  switch (control) {
    case P::chk_AutoMoveScreen: chk_AutoMoveScreenClick(); break;
    case P::chk_DeskWallpaper: chk_DeskWallpaperClick(); break;
    case P::btn_topBrowse: btn_topBrowseClick(); break;
    case P::btn_bgBrowse: btn_bgBrowseClick(); break;
    case P::btn_picTest: btn_picTestClick(); break;
    case P::btn_SaveConfig: btn_SaveConfigClick(); break;
    default: break;
  }
}

void SettingsPanel::grp_ExpConfigDblClick(bool shiftDown) {
  if (shiftDown) c_.view.SetVisible(P::chk_CTIDSwitch, true);
}

void SettingsPanel::chk_AutoMoveScreenClick() {
  c_.view.SetGroupActive(P::grp_ExpConfig, c_.view.Checked(P::chk_AutoMoveScreen));
}

void SettingsPanel::chk_DeskWallpaperClick() {
  c_.view.SetGroupActive(P::grp_deskConfig, c_.view.Checked(P::chk_DeskWallpaper));
}

void SettingsPanel::btn_topBrowseClick() { BrowseFolder(true); }
void SettingsPanel::btn_bgBrowseClick() { BrowseFolder(false); }

void SettingsPanel::BrowseFolder(bool upper) {
  const PanelControl edit = upper ? P::edt_topPicPath : P::edt_bgPicPath;
  const auto chosen = c_.view.BrowseForFolder(
      upper ? "浏览到你希望用于桌面展示的图片文件夹:" : "浏览到你希望用于桌面背景的图片文件夹:",
      c_.view.Text(edit));
  if (!chosen) return;
  // Always appended, a drive root's "C:\" included: the box shows what the
  // picture paths are built from.
  c_.view.SetText(edit, *chosen + "\\");
  std::vector<std::string>& list = upper ? c_.carousel.topPicList : c_.carousel.bgPicList;
  list.clear();
  FindPictures(c_.files, c_.view.Text(edit), list);
  const int count = static_cast<int>(list.size());
  c_.log.WriteLog(Format(upper ? "topPicCount=%d" : "bgPicCount=%d", count));
  if (count > 0) SetTestButton(true);
}

void SettingsPanel::btn_picTestClick() {
  c_.carousel.btn_picTestClick();
  ShowCarouselState();
}

void SettingsPanel::SetTestButton(bool enabled) {
  c_.carousel.testButtonEnabled = enabled;
  c_.view.SetEnabled(P::btn_picTest, enabled);
}

void SettingsPanel::SetStyleBox(bool enabled) {
  c_.carousel.styleBoxEnabled = enabled;
  c_.view.SetEnabled(P::cbb_style, enabled);
}

int SettingsPanel::CheckedTag(PanelControl control) {
  return c_.view.Checked(control) ? LayoutOf(control).tag : 0;
}

void SettingsPanel::btn_SaveConfigClick() {
  // The pause at the end dispatches messages; a click that still reaches the
  // disabled button then must not start a second save inside the first.
  if (saving_) return;
  saving_ = true;
  c_.view.SetEnabled(P::btn_SaveConfig, false);

  WallpaperCarousel& carousel = c_.carousel;
  const bool carouselChecked = c_.view.Checked(P::chk_DeskWallpaper);
  const std::string bgFolder = c_.view.Text(P::edt_bgPicPath);
  const std::string topFolder = c_.view.Text(P::edt_topPicPath);
  const bool bgExists = c_.files.FolderExists(bgFolder);
  const bool topExists = c_.files.FolderExists(topFolder);

  // Lists still empty (no folder chosen since start-up, or the first tick
  // found nothing) are filled from the folders in the boxes.
  if (carouselChecked && carousel.bgPicList.empty() && bgExists) {
    FindPictures(c_.files, bgFolder, carousel.bgPicList);
    c_.log.WriteLog(Format("save bgPicList=%d", static_cast<int>(carousel.bgPicList.size())));
    SetTestButton(!carousel.bgPicList.empty());
  }
  if (carouselChecked && carousel.topPicList.empty() && topExists) {
    FindPictures(c_.files, topFolder, carousel.topPicList);
    c_.log.WriteLog(Format("save topPicList=%d", static_cast<int>(carousel.topPicList.size())));
    // Background pictures found just before still make a step worth testing.
    SetTestButton(!carousel.topPicList.empty() || !carousel.bgPicList.empty());
  }
  if (!bgExists) carousel.bgPicList.clear();
  if (!topExists) carousel.topPicList.clear();
  if (carousel.bgPicList.empty() && carousel.topPicList.empty()) {
    c_.view.SetChecked(P::chk_DeskWallpaper, false);
    chk_DeskWallpaperClick();
  }
  // The style only matters when background pictures alone are the wallpaper.
  SetStyleBox(!carousel.bgPicList.empty() && carousel.topPicList.empty());
  c_.view.SetEnabled(P::cbb_topPos, !carousel.topPicList.empty());

  int bits = 0;
  for (PanelControl box : kFeatureBoxes) bits += CheckedTag(box);
  c_.switches.Apply(bits);

  CapturePositions();

  SettingsModel& m = c_.model;
  m.featureBits = bits;
  m.bgPicPath = bgFolder;
  m.topPicPath = topFolder;
  m.intervalIndex = c_.view.Selection(P::cbb_Interval);
  m.styleIndex = c_.view.Selection(P::cbb_style);
  m.topPosIndex = c_.view.Selection(P::cbb_topPos);
  SaveSettings(c_.registry, m, barId ? barId() : std::string());
  if (setCarouselInterval) setCarouselInterval(m.interval);
  carousel.topPos = m.topPos;

  c_.clock.DelayWithMessages(200);
  c_.view.SetEnabled(P::btn_SaveConfig, true);
  saving_ = false;
}

void SettingsPanel::CapturePositions() {
  if (!c_.switches.extendedScreen) return;
  const std::string appKey = Literal(lit::kAppKeyPath);

  // The CTID window, unless it sits where its return to the cashier's
  // screen parked it: that spot is not where the customer should see it.
  ScreenPosition ctid;
  const Hwnd ctidWindow = findCtidWindow ? findCtidWindow() : 0;
  if (ctidWindow && c_.desktop.WindowOrigin(ctidWindow, ctid.left, ctid.top) &&
      ctid.top != c_.desktop.WorkAreaSize().height - kCtidParkedFromBottom) {
    (void)c_.registry.WriteString(kUser, appKey, "CTIDWin", FormatPosition(ctid.left, ctid.top));
    c_.log.WriteLog(Format("CTIDWin.x=%d,CTIDWin.y=%d", ctid.left, ctid.top));
  }

  ScreenPosition app;
  const Hwnd appWindow = findAppQrWindow ? findAppQrWindow() : 0;
  if (appWindow && c_.desktop.WindowOrigin(appWindow, app.left, app.top)) {
    (void)c_.registry.WriteString(kUser, appKey, "OrvAppWin", FormatPosition(app.left, app.top));
  } else {
    app = {};
  }
  c_.log.WriteLog(Format("OrvAppWin.x=%d,OrvAppWin.y=%d", app.left, app.top));

  // A hidden face window stands wherever it was last left: keep the value.
  ScreenPosition face;
  if (c_.faceForm.IsShown() && c_.desktop.WindowOrigin(c_.faceForm.Handle(), face.left, face.top)) {
    (void)c_.registry.WriteString(kUser, appKey, "FaceVeifyWin", FormatPosition(face.left, face.top));
  } else {
    face = {};
  }
  c_.log.WriteLog(Format("FaceVeifyWin.x=%d,FaceVeifyWin.y=%d", face.left, face.top));
}
