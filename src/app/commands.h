// Command identifiers of the main window (WM_COMMAND). The notification-area
// menu sends them; they are fixed numbers so other tools can send them too.
#pragma once

enum MainCommand : unsigned {
  kCmdCountdown15 = 105,  // N5 "倒计时15秒"
  kCmdCountdown8 = 104,   // N4 "倒计时8秒"
  kCmdCountdown3 = 103,   // N3 "倒计时3秒"
  kCmdPointTip = 120,     // Point_Tip "点数不足自动确定(&P)"
  kCmdAbout = 108,        // N8 "关于(&A)..."
  kCmdSettings = 110,     // N10 "Tollimer配置(&C)..."
  kCmdBlackList = 111,    // N11 "黑名单监控(&B)..."
  kCmdAutorun = 130,      // Orv_Autorun "开机自动运行(&R)"
  kCmdExitRestart = 102,  // N2 "退出/重启Tollimer(&X)"
};

// Caption of the application's hidden top-level window: the single-instance
// marker and the tip of the notification-area icon.
inline constexpr const char* kApplicationTitle = "网吧Tollimer";
// The application's title while a restart starts the new process, which then
// finds no window captioned kApplicationTitle.
inline constexpr const char* kRestartTitle = "ORVAssistant-Restart..";
