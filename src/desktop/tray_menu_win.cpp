#include "desktop/tray_menu_win.h"

#include "app/commands.h"

namespace {

// A countdown item: drawn with a round mark when checked, as one of a group.
void AppendRadioItem(HMENU menu, UINT id, const char* caption) {
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
  item.fType = MFT_STRING | MFT_RADIOCHECK;
  item.wID = id;
  item.dwTypeData = const_cast<char*>(caption);
  InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &item);
}

void Check(HMENU menu, UINT id, bool on) {
  CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

HMENU CreateTrayMenu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, kCmdAbout, "关于(&A)...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdSettings, "Tollimer配置(&C)...");
  AppendMenuA(menu, MF_STRING, kCmdBlackList, "黑名单监控(&B)...");
  AppendMenuA(menu, MF_STRING, kCmdPointTip, "点数不足自动确定(&P)");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendRadioItem(menu, kCmdCountdown15, "倒计时15秒");
  AppendRadioItem(menu, kCmdCountdown8, "倒计时8秒");
  AppendRadioItem(menu, kCmdCountdown3, "倒计时3秒");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdAutorun, "开机自动运行(&R)");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdExitRestart, "退出/重启Tollimer(&X)");
  UpdateTrayMenuChecks(menu, 15, false, false);
  return menu;
}

void UpdateTrayMenuChecks(HMENU menu, int countdownSeconds, bool pointTipOn, bool autorunOn) {
  Check(menu, kCmdCountdown15, countdownSeconds == 15);
  Check(menu, kCmdCountdown8, countdownSeconds == 8);
  Check(menu, kCmdCountdown3, countdownSeconds == 3);
  Check(menu, kCmdPointTip, pointTipOn);
  Check(menu, kCmdAutorun, autorunOn);
}
