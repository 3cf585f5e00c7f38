// The plain values of every enciphered literal of the program, in one place for
// review. Each entry is turned into hex while compiling (literals::Encipher);
// read one at run time with Literal(lit::kName). The README lists the values an
// operator may need on a cashier PC.
#pragma once
#include "util/literals.h"

namespace lit {
using literals::Encipher;

// --- Process environment and start-up ---------------------------------------
// Log marker file in the program folder: the activity log is written only
// while it exists.
inline constexpr auto kLogMarkerFile = Encipher("debug");
// Registry key of the application, under HKEY_CURRENT_USER.
inline constexpr auto kAppKeyPath = Encipher("Software\\Tollimer");
// Main window caption: prefix + file version + suffix.
inline constexpr auto kCaptionPrefix = Encipher("网吧Tollimer V");
inline constexpr auto kCaptionSuffix = Encipher(" (收银版)");
// A stray window that the task timer closes once a minute.
inline constexpr auto kStrayWindowCaption = Encipher("Orv网络计费系统公告栏");
// Central service. The chain's addresses are compiled into the few files
// that use them alone (cmake/config.cmake), so a build for another service
// recompiles those files only.
#ifdef TOLLIMER_SERVICE_BASE
inline constexpr auto kServiceBase = Encipher(TOLLIMER_SERVICE_BASE);
#endif
inline constexpr auto kUpdatePath = Encipher("update/");
inline constexpr auto kReportPath = Encipher("report.php?");
inline constexpr auto kBlacklistPath = Encipher("data/blklist.txt");
// Collector of blacklist notices (UDP 8888).
#ifdef TOLLIMER_COLLECTOR_ADDRESS
inline constexpr auto kCollectorAddress = Encipher(TOLLIMER_COLLECTOR_ADDRESS);
#endif

// --- Activity-log formats ----------------------------------------------------
inline constexpr auto kStartupLineFormat = Encipher("Startup:ver=%s,crc=%s,barid=%s,barname=%s,nb=%d");
inline constexpr auto kAttemptLineFormat = Encipher("Check_Update[%d]=%d");
inline constexpr auto kSummaryLineFormat =
    Encipher("StartOK:HotKey=%d,ExpCofig=%d,Delay=%d,Mode=%d,Refresh=%d,Return=%d");
inline constexpr auto kRunningTimeFormat = Encipher("RunTime=%s");
inline constexpr auto kFirstTickUpdateFormat = Encipher("AutoUpdate=%d,UpdateState=%d");
inline constexpr auto kPointsLineFormat = Encipher("PointsWnd=%d,RadioGrp=%d,GroupBtn=%d,Edit=%d");

// --- Runtime parameters ------------------------------------------------------
// Local parameters file in the program folder (the same name is the bar
// identity file in the billing console's folder), its section and keys.
inline constexpr auto kLocalParamsFile = Encipher("OrvBar.ini");
inline constexpr auto kLocalParamsSection = Encipher("Assistant");
inline constexpr auto kFileKeyFaceClickDelay = Encipher("fwait");
// Keys of the central-service answer; the file shares the last two.
inline constexpr auto kKeyFaceClickDelay = Encipher("delay");
inline constexpr auto kKeyFaceClickMode = Encipher("clickmode");
inline constexpr auto kKeyParamRefreshMinutes = Encipher("interval");
inline constexpr auto kKeyCtidReturnDelay = Encipher("ctidreturn");

// --- Audit client ------------------------------------------------------------
// Caption of the face-verification dialog, also its face button's caption.
inline constexpr auto kFaceDialogCaption = Encipher("人脸核验");
inline constexpr auto kFaceSoundFile = Encipher("FaceTip.wav");

// --- Face verification ---------------------------------------------------------
// The press line: dialog, button, button style, press result, press point,
// ID edit and ID text.
inline constexpr auto kFacePressLineFormat =
    Encipher("FaceDlg=%d,Btn=%d,BtnStyle=%d,ClickRet=%d,ClickPt=%d.%d,IdEdit=%d,CID=%s");

// --- Billing console installation --------------------------------------------
inline constexpr auto kConsoleKeyPath = Encipher("SOFTWARE\\Orv\\Billing");  // HKLM
inline constexpr auto kConsoleFolderValue = Encipher("InstallDir");
inline constexpr auto kV8MarkerFile = Encipher("OrvV8.flag");
inline constexpr auto kV8BarIdValue = Encipher("BarID");
inline constexpr auto kV8BarNameValue = Encipher("BarName");
inline constexpr auto kOtherConsoleKeyPath = Encipher("Software\\Orv\\Console");  // HKCU
inline constexpr auto kOtherConsoleFolderValue = Encipher("Path");
inline constexpr auto kBarIdentityFile = kLocalParamsFile;
inline constexpr auto kBarIdentitySection = Encipher("Bar");
inline constexpr auto kBarIdKey = Encipher("BarID");
inline constexpr auto kBarNameKey = Encipher("BarName");
inline constexpr auto kBarFlagKey = Encipher("Updated");
inline constexpr auto kBarTimeKey = Encipher("UpdateTime");
inline constexpr auto kHostFile = Encipher("OrvHost.ini");
inline constexpr auto kHostSection = Encipher("Server");
inline constexpr auto kHostKey = Encipher("IP");

// --- Desktop integration -----------------------------------------------------
// Per-user start-up key (HKEY_CURRENT_USER) and the autorun value's name.
inline constexpr auto kAutorunKeyPath = Encipher("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
inline constexpr auto kAutorunValue = Encipher("Tollimer");
// The about page of the central service, opened in the cashier's browser.
#ifdef TOLLIMER_SERVICE_BASE
inline constexpr auto kAboutAddress = Encipher(TOLLIMER_SERVICE_BASE "about.html");
#endif

// --- Central-service exchange and self-update (request, reply, download) ----
inline constexpr auto kUpdateRequestFormat = Encipher(
    "time=%s\r\nneighbours=%d\r\nmac=%s\r\ncrc=%s\r\nbarid=%s\r\nbarname=%s\r\nos=%s\r\n"
    "expcofig=%d\r\nmonitors=%d\r\nfacesound=%s\r\ndisk=%s");
// The sealed payload of a reply lies between these markers.
inline constexpr auto kReplyOpenMarker = Encipher("[BODY]");
inline constexpr auto kReplyCloseMarker = Encipher("[END]");
// Reply name of the release identities: the CRC-32 texts of the current release.
inline constexpr auto kKeyReleaseIdentities = Encipher("crclist");
// The release download: update address + running executable's checksum.
inline constexpr auto kDownloadUrlFormat = Encipher("%sfile/%s.bin");
// Its signature, by the same lookup.
inline constexpr auto kSignatureUrlFormat = Encipher("%sfile/%s.sig");
inline constexpr auto kRefreshStateFormat = Encipher("Call_Update=%d");

}  // namespace lit
