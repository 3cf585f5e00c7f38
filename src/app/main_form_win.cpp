#include "app/main_form_win.h"
#include "platform/member_window_proc_win.h"
#include "platform/thread_messages_win.h"

#include "app/commands.h"
#include "crypto/release_key_note.h"
#include "settings/autorun.h"
#include "desktop/confirm_dialog_win.h"
#include "desktop/program_icon_win.h"
#include "desktop/shortcut_win.h"
#include "desktop/tray_menu_win.h"
#include "net/notice.h"
#include "net/download.h"
#include "net/download_transfer.h"
#include "net/url.h"
#include "net/socket.h"
#include "util/literal_table.h"
#include "util/text.h"
#include "watcher/face_sound.h"

namespace {

constexpr UINT_PTR kTimer1 = 1;       // watch cycle, 1000 ms
constexpr UINT_PTR kTaskTimer = 2;    // periodic tasks, 60000 ms
constexpr UINT kNetworkResults = WM_APP + 28;  // the network worker has results
constexpr UINT kTimer1Interval = 1000;
constexpr UINT kTaskInterval = 60000;
constexpr int kHotKeyF11 = 1012;
constexpr const char* kClassName = "TOrv_Assistant";
// A release's signature is one short text, fetched like every other exchange.
constexpr int kSignatureTimeoutMs = 5000;
// How long the close waits for the network worker to end its job.
constexpr DWORD kWorkerStopWaitMs = 1500;

bool EnableDebugPrivilege(bool enable) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid);
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
  CloseHandle(token);
  return true;
}

// What a release's statement must be above and for.
SelfUpdate::Running RunningRelease(const ProcessEnvironment& env) {
#ifdef _WIN64
  const char* machine = "x64";
#else
  const char* machine = "x86";
#endif
  return {ParseReleaseNumber(env.fileVersion).value_or(0), machine};
}

}  // namespace

TOrv_Assistant::TOrv_Assistant(const ProcessEnvironment& env)
    : env_(env),
      machine_(ReadMachineValues(env.programFolder)),
      selfUpdate_(updateFiles_, updateShell_, log_,
                  {[this, folder = env.programFolder](const std::string& url, const std::string& destination) {
                     DownloadOptions options;
                     options.programFolder = folder;
                     options.stop = &worker_.Queue().StopFlag();
                     return IsHttpsUrl(url) ? DownloadFileSecure(url, destination, true, options)
                                            : DownloadFile(url, destination, true, options);
                   },
                   [this](const std::string& url) {
                     return workerHttp_->HttpRequest(url, "", kSignatureTimeoutMs);
                   }},
                  CompiledReleaseKey(), RunningRelease(env), env.exePath, env.updateAddress),
      blacklist_(files_, *http_, [] { return static_cast<std::uint32_t>(GetTickCount()); },
                 [this] {
                   const LocalTime now = clock_.Now();
                   return CalendarDate{now.year, now.month, now.day};
                 },
                 {env_.programFolder + "blacklist.txt", env_.serviceBase + Literal(lit::kBlacklistPath)}),
      blacklistAlert_({desktop_, clock_, sound_, log_, hitReports_,
                       [](const std::string& text) {
                         if (HitNoticeEnabled()) SendNotice(text);
                       }},
                      blacklist_, bar_, env_.serviceBase + Literal(lit::kReportPath), machine_.macText) {}

bool TOrv_Assistant::Create(HWND applicationWindow) {
  application_ = applicationWindow;
  // The cafe's identity as the billing console's installation records it.
  Read_BarIdentity(*registry_, *ini_, files_, bar_);

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
  // Not shown: the assistant works hidden; the cashier opens it from the icon.
  hwnd_ = CreateWindowExA(0, kClassName, "网吧Tollimer..", kSettingsWindowStyle,
                          CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, applicationWindow, nullptr,
                          wc.hInstance, this);
  if (!hwnd_) return false;
  TakeDialogKeys(hwnd_);
  // The program's icon in the settings window's caption and on the taskbar
  // button, which belongs to the application window.
  GiveProgramIcon(hwnd_);
  GiveProgramIcon(applicationWindow);
  // The face-comparison window, hidden until a face-verification dialog comes.
  faceForm_.Create(applicationWindow);
  return true;
}

LRESULT CALLBACK TOrv_Assistant::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MemberWindowProc<TOrv_Assistant, &TOrv_Assistant::hwnd_, &TOrv_Assistant::OnMessage>(hwnd, msg, wParam, lParam);
}

LRESULT TOrv_Assistant::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      FormCreate();
      return 0;
    case WM_TIMER:
      if (wParam == kTimer1) Timer1Timer();
      if (wParam == kTaskTimer) Timer_TaskTimer();
      return 0;
    case WM_HOTKEY:
      WMHotKey(wParam);
      return 0;
    case kNetworkResults:
      central_.ApplyResults();
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(panelForm_.DefaultButtonId(), DC_HASDEFID);
    case WM_COMMAND:
      if (panelForm_.OnCommand(wParam, lParam)) return 0;
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      if (FormCloseQuery()) {
        FormClose();
        DestroyWindow(hwnd_);
      }
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // Windows is signing out or shutting down: close for real, so the
      // shutdown is logged, instead of hiding as a cashier's close does.
      if (wParam) {
        HideOnClose = false;
        SendMessageA(hwnd_, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_DESTROY:
      trayIcon_.reset();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

void TOrv_Assistant::FormCreate() {
  // Run state and runtime parameters start from their defaults.
  par_ = TCenterPar{};
  HideOnClose = true;

  // The network neighbours the central-service request reports (the other
  // machine values are read with the process environment).
  neighbourCount_ = CountNetworkNeighbours();

  // The log is on only when the marker file is in the program folder.
  log_.SetSwitch(files_.Exists(env_.programFolder + Literal(lit::kLogMarkerFile)), env_.programFolder);

  // Caption: prefix, version, suffix.
  SetWindowTextA(hwnd_, (Literal(lit::kCaptionPrefix) + env_.fileVersion +
                         Literal(lit::kCaptionSuffix)).c_str());

  // The task timer.
  SetTimer(hwnd_, kTaskTimer, kTaskInterval, nullptr);

  // The notification-area icon and its menu.
  CreateTrayIcon();

  // The network worker: the central service's exchanges, the blacklist
  // request, the release download and the hit reports run there.
  worker_.Start(hwnd_, kNetworkResults);

  // The blacklist panel, hidden until the cashier asks for it; the list is
  // loaded on the first tick and every night, and checked on every swipe.
  frmBlackList_.Create(hwnd_);
  watch_.Hooks().loadBlacklist = [this](const std::string& linePrefix) { central_.LoadBlacklist(linePrefix); };
  frmBlackList_.reload = [this] { central_.LoadBlacklist(""); };
  central_.GetHooks().blacklistLoaded = [this] { frmBlackList_.ShowList(); };
  watch_.Hooks().blacklistCheck = [this](Hwnd dialog, Hwnd faceButton, Hwnd idEdit) {
    return blacklistAlert_.Check(dialog, faceButton, idEdit);
  };

  // The settings window's controls, filled from the settings below.
  panelForm_.Create(hwnd_, &settingsPanel_);

  // Every start counts activation windows down from 15.
  watch_.Dialogs().N5Click();

  // The persisted settings: autorun state, feature bits, picture folders and
  // the carousel's layout and interval.
  settings_ = LoadSettings(*registry_, env_.exePath);
  switches_.Apply(settings_.featureBits);
  watch_.SetCarouselInterval(settings_.interval);
  carousel_.topPos = settings_.topPos;
  carousel_.SetProgramFolder(env_.programFolder);
  // The first tick fills the picture lists; the carousel runs only when one
  // of them holds a picture.
  watch_.Hooks().loadPictureLists = [this] {
    switches_.carousel = carousel_.LoadPictureLists(settings_.bgPicPath, settings_.topPicPath);
    settingsPanel_.ShowCarouselState();
  };
  watch_.Hooks().carouselStep = [this] {
    carousel_.btn_picTestClick();
    settingsPanel_.ShowCarouselState();
  };
  settingsPanel_.ShowLoadedSettings();
  settingsPanel_.ApplySettings();
  settingsPanel_.findCtidWindow = [this] { return ctid_.Find_CTIDWin(); };
  settingsPanel_.findAppQrWindow = [this] { return placement_.FindAppQrWindow(); };
  settingsPanel_.setCarouselInterval = [this](int seconds) { watch_.SetCarouselInterval(seconds); };
  settingsPanel_.barId = [this] { return bar_.barId; };
  autorunChecked_ = settings_.autorun;

  // Windows Sockets for the billing server, the downloader and the notice.
  socketsStarted_ = Socket::Startup() == 0;

  // With a known bar id the desktop shortcut is made; without a usable one,
  // the billing server is asked (at most about 12 s).
  MakeShortcut();
  BillingLink link{*registry_, *ini_, files_, clock_, log_};
  Query_BarIdentity(link, bar_);

  // The start-up line.
  log_.WriteLog(FormatRuntime(Literal(lit::kStartupLineFormat), env_.fileVersion.c_str(),
                              env_.exeChecksum.c_str(), bar_.barId.c_str(), bar_.barName.c_str(),
                              neighbourCount_));
  // Which key a release must be signed with, and whether it is the test key.
  log_.WriteLog(ReleaseKeyLogLine(CompiledReleaseKey()));

  // Once the first watch tick ran, this program is up: the program an update
  // started it from may end, and the backup of it that the update left
  // ("<exe>.old") may go. Until then the old program is its way back.
  watch_.Hooks().firstTickRan = [this] {
    SayStartedProgramIsUp();
    selfUpdate_.RemoveLeftoverBackup([this](int ms) { clock_.DelayWithMessages(ms); });
  };

  // The central-service exchange runs on the worker: its answer fills the
  // runtime parameters (the local file then overrides them again) and tells
  // whether an update is due, which is then downloaded; the minute timer
  // repeats it. The summary line is written once the answer is in.
  central_.GetHooks().requestText = [this] { return BuildUpdateRequestText(); };
  central_.GetHooks().startupExchangeDone = [this] {
    ApplyLocalParameterFile();
    LogStartupSummary();
  };
  central_.GetHooks().quietMoment = [this] { return QuietMoment(); };
  central_.StartupExchange();
  task_.Hooks().callUpdate = [this] { central_.Refresh([this](int state) { task_.OnRefreshResult(state); }); };
  task_.Hooks().startSelfUpdate = [this] { central_.FetchRelease(false); };

  // Local overrides of the runtime parameters.
  ApplyLocalParameterFile();

  // Watch-cycle steps 3 (face verification), 11 (extended-screen placement,
  // the CTID window among them) and 13 (the CTID window's return), and the
  // task timer's QR check.
  WireFaceAndPlacement();
  watch_.Hooks().ctidReturnStep = [this] { ctid_.AutoReturnStep(watch_.MainCashierSeen()); };
  task_.Hooks().checkQrCode = [this] { ctid_.Check_QRCode(kCtidAutomatic); };

  // From here on the watch cycle runs every second.
  SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);

  // F11 refreshes the CTID QR code from anywhere; while another program
  // holds it, the first watch ticks try again.
  // (The summary, written once the exchange's answer is in, gives this
  // first attempt's outcome.)
  hotKeyAtStart_ = hotKey_.Start();

  // Lets the assistant act on windows of elevated programs where allowed.
  EnableDebugPrivilege(true);
}

std::string TOrv_Assistant::BuildUpdateRequestText() {
  const LocalTime now = clock_.Now();
  UpdateRequestValues v;
  v.unixTime = LocalToUnixTime(
      LocalDays(now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond));
  v.neighbourCount = neighbourCount_;
  v.macText = machine_.macText;
  v.exeChecksum = env_.exeChecksum;
  v.barId = bar_.barId;
  v.barName = bar_.barName;
  v.osVersion = machine_.osVersion;
  v.featureBits = switches_.bits;
  v.monitorCount = machine_.monitorCount;
  v.faceSoundInfo = machine_.faceSoundInfo;
  v.diskSerial = machine_.diskSerial;
  return BuildUpdateRequest(v);
}

void TOrv_Assistant::LogStartupSummary() {
  log_.WriteLog(FormatRuntime(Literal(lit::kSummaryLineFormat), hotKeyAtStart_ ? 1 : 0,
                       switches_.bits, par_.FaceClickDelay, par_.FaceClickMode,
                       par_.ParamRefreshMinutes, par_.CtidReturnDelay));
}

bool TOrv_Assistant::QuietMoment() {
  // Not while a face-verification dialog is on the screen or an alert is
  // shown in one: the restart would take the cashier's view of it away.
  auto exists = [](Hwnd window) { return window != 0 && IsWindow(reinterpret_cast<HWND>(window)); };
  return !face_.FaceFormPlaced && !exists(face_.FaceDialogSeen) && !exists(face_.LastFaceDialog) &&
         !exists(blacklistAlert_.LastBlacklistEdit());
}

void TOrv_Assistant::ApplyLocalParameterFile() {
  const std::string path = env_.programFolder + Literal(lit::kLocalParamsFile);
  const std::string section = Literal(lit::kLocalParamsSection);
  ApplyLocalParameters(par_, [&](const std::string& key, const std::string& fallback) {
    return ini_->ReadString(path, section, key, fallback);
  });
}

void TOrv_Assistant::WireFaceAndPlacement() {
  const std::string faceSound = env_.programFolder + Literal(lit::kFaceSoundFile);
  face_.SetCustomFaceSound(faceSound, MeasureFaceSound(faceSound));
  // The blacklist check is looked up at each call: its owner may fill the
  // hook at any point of start-up.
  face_.SetBlacklistCheck([this](Hwnd dialog, Hwnd faceButton, Hwnd idEdit) {
    const auto& check = watch_.Hooks().blacklistCheck;
    return check ? check(dialog, faceButton, idEdit) : false;
  });
  watch_.Hooks().faceVerification = [this] { return face_.Run(); };
  placement_.moveCtidWindow = [this] { ctid_.Move_CTIDWin(kCtidAutomatic); };
  watch_.Hooks().placeHandoverAndQrWindows = [this] { placement_.PlaceHandoverAndQrWindows(); };
}

bool TOrv_Assistant::FormCloseQuery() {
  if (!HideOnClose) return true;
  HideSettingsWindow();
  return false;
}

void TOrv_Assistant::FormClose() {
  // The worker is told to stop; a download ends at its next piece, and the
  // program does not wait for a silent server's time-out. A release that was
  // being fetched, or waited for its quiet moment, is not left behind.
  worker_.Stop(kWorkerStopWaitMs);
  updateFiles_.Delete(env_.exePath + ".NEW");
  if (socketsStarted_) Socket::Cleanup();
  KillTimer(hwnd_, kTimer1);
  UnregisterHotKey(hwnd_, kHotKeyF11);
  const long long seconds = SecondsBetween(env_.started, clock_.Now());
  log_.WriteLog(FormatRuntime(Literal(lit::kRunningTimeFormat), FormatDuration(seconds).c_str()));
}

void TOrv_Assistant::Timer1Timer() {
  // The next tick comes a full second after this cycle ends, however long it
  // took, and a cycle never nests in another.
  KillTimer(hwnd_, kTimer1);
  // A checked release is swapped in between cycles, when nothing is handled.
  if (central_.OnTick()) return;
  hotKey_.OnWatchTick();
  try {
    watch_.OnWatchTimer();
  } catch (const std::exception& e) {
    log_.WriteLog(std::string("#RunWatchCycle:0 / 0 ") + e.what());
  }
  SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);
}

void TOrv_Assistant::Timer_TaskTimer() { task_.Timer_TaskTimer(); }

void TOrv_Assistant::WMHotKey(WPARAM id) {
  if (id != kHotKeyF11) return;
  ctid_.OnHotKey(static_cast<int>(id));
}

void TOrv_Assistant::OnCommand(unsigned id) {
  switch (id) {
    case kCmdCountdown15: watch_.Dialogs().N5Click(); break;
    case kCmdCountdown8: watch_.Dialogs().N4Click(); break;
    case kCmdCountdown3: watch_.Dialogs().N3Click(); break;
    case kCmdPointTip:
      watch_.Dialogs().Point_TipClick([] {
        return MessageBoxA(GetForegroundWindow(), "确保已联系充点业务后再开启，请问要继续吗？",
                           "开启确认", MB_ICONQUESTION | MB_YESNO);
      });
      break;
    case kCmdAbout: N8Click(); break;
    case kCmdSettings: ShowSettingsWindow(); break;
    case kCmdBlackList: frmBlackList_.Show(); break;
    case kCmdAutorun: Orv_AutorunClick(); break;
    case kCmdExitRestart: N2Click(); break;
  }
}

void TOrv_Assistant::CreateTrayIcon() {
  PopupMenu1 = CreateTrayMenu();
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
  trayIcon_ = std::make_unique<TTrayIcon>(hwnd_, PopupMenu1, icon, kApplicationTitle);
  trayIcon_->OnDblClick = [this] { ShowSettingsWindow(); };
  trayIcon_->OnPopup = [this] {
    const DialogSwitches& switches = watch_.Dialogs().Switches();
    UpdateTrayMenuChecks(PopupMenu1, switches.countdownSeconds, switches.reminderOn, autorunChecked_);
  };
}

void TOrv_Assistant::ShowSettingsWindow() {
  ShowWindow(application_, SW_RESTORE);
  // The settings window minimises by itself: bring it back, not just show it.
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(application_);
  // The application window is never drawn; the settings window is the one
  // the cashier means to reach.
  SetForegroundWindow(hwnd_);
}

void TOrv_Assistant::HideSettingsWindow() {
  ShowWindow(hwnd_, SW_HIDE);
  ShowWindow(application_, SW_HIDE);
}

void TOrv_Assistant::N8Click() {
  ShellExecuteA(nullptr, "open", Literal(lit::kAboutAddress).c_str(), nullptr, nullptr, SW_SHOW);
}

void TOrv_Assistant::Orv_AutorunClick() {
  autorunChecked_ = ::Orv_AutorunClick(*registry_, env_.exePath, autorunChecked_, [this] {
    return MessageBoxA(hwnd_, "请问您要取消 网吧Tollimer 开机启动吗？", "取消启动确认",
                       MB_ICONQUESTION | MB_YESNO) != IDNO;
  });
}

void TOrv_Assistant::N2Click() {
  const int answer = ConfirmWithCaptions(hwnd_, "操作确认", "您确认要退出 或 重启Tollimer 吗？",
                                         " 退出助手(&X) ", " 重启助手(&R) ");
  if (answer != IDYES && answer != IDNO) return;
  HideOnClose = false;
  SendMessageA(hwnd_, WM_CLOSE, 0, 0);
  if (answer == IDNO) {
    // The new process must not find this one's marker caption, however long
    // this one takes to end. The path is quoted: program folders may hold
    // spaces.
    SetWindowTextA(application_, kRestartTitle);
    WinExec(("\"" + env_.exePath + "\"").c_str(), SW_SHOWNORMAL);
  }
}

void TOrv_Assistant::MakeShortcut() {
  try {
    MakeDesktopShortcut(
        bar_.barId, DesktopFolder(), env_.exePath,
        [](const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
        CreateShortcut);
  } catch (const std::exception& e) {
    log_.WriteLog(std::string("#CreateShortcut:0 / ") + Format("%lu ", GetLastError()) + e.what());
  }
}
