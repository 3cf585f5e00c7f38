#include "app/main_form_win.h"

#include "app/commands.h"
#include "net/download.h"
#include "net/socket.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

constexpr UINT_PTR kTimer1 = 1;       // watch cycle, 1000 ms
constexpr UINT_PTR kTaskTimer = 2;    // periodic tasks, 60000 ms
constexpr UINT kTimer1Interval = 1000;
constexpr UINT kTaskInterval = 60000;
constexpr int kHotKeyF11 = 1012;
constexpr const char* kClassName = "TOrv_Assistant";

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

}  // namespace

TOrv_Assistant::TOrv_Assistant(const ProcessEnvironment& env)
    : env_(env),
      selfUpdate_(updateFiles_, updateShell_, log_,
                  [folder = env.programFolder](const std::string& url, const std::string& destination) {
                    DownloadOptions options;
                    options.programFolder = folder;
                    return DownloadFile(url, destination, true, options);
                  },
                  env.exePath, env.updateAddress) {}

bool TOrv_Assistant::Create(HWND applicationWindow) {
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
  hwnd_ = CreateWindowExA(0, kClassName, "网吧Tollimer..", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                          CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, applicationWindow, nullptr,
                          wc.hInstance, this);
  return hwnd_ != nullptr;
}

LRESULT CALLBACK TOrv_Assistant::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<TOrv_Assistant*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TOrv_Assistant*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return self ? self->OnMessage(msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
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
    case WM_COMMAND:
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
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

void TOrv_Assistant::FormCreate() {
  // Run state and runtime parameters start from their defaults.
  par_ = TCenterPar{};
  HideOnClose = true;

  // The machine values the central-service request reports.
  neighbourCount_ = CountNetworkNeighbours();
  machine_ = ReadMachineValues(env_.programFolder);

  // The log is on only when the marker file is in the program folder.
  log_.SetSwitch(files_.Exists(env_.programFolder + Literal(lit::kLogMarkerFile)), env_.programFolder);

  // Caption: prefix, version, suffix.
  SetWindowTextA(hwnd_, (Literal(lit::kCaptionPrefix) + env_.fileVersion +
                         Literal(lit::kCaptionSuffix)).c_str());

  // A self-update leaves the previous executable behind as "<exe>.old".
  const std::string old = env_.exePath + ".old";
  if (files_.Exists(old)) files_.Delete(old);

  // The task timer.
  SetTimer(hwnd_, kTaskTimer, kTaskInterval, nullptr);

  // Seam: the notification-area icon and its menu are created here; until
  // then the menu commands reach the window as WM_COMMAND (app/commands.h).

  // Every start counts activation windows down from 15.
  watch_.Dialogs().N5Click();

  // The feature bits. Seam: the rest of the persisted settings (autorun
  // state, picture folders, carousel) are read here with them.
  switches_.Apply(ParseFeatureBits(
      registry_->ReadString(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), "ExpCofig", "0")));

  // Windows Sockets for the billing server, the downloader and the notice.
  socketsStarted_ = Socket::Startup() == 0;

  // Without a usable bar id, ask the billing server (at most about 12 s).
  // Seam: with a known bar id the desktop shortcut is made here instead.
  BillingLink link{*registry_, *ini_, files_, clock_, log_};
  Query_BarIdentity(link, bar_);

  // The start-up line.
  log_.WriteLog(Format(Literal(lit::kStartupLineFormat).c_str(), env_.fileVersion.c_str(),
                       env_.exeChecksum.c_str(), bar_.barId.c_str(), bar_.barName.c_str(),
                       neighbourCount_));

  // The central-service exchange fills the runtime parameters and tells
  // whether an update is due (started at the first watch tick); the minute
  // timer repeats it.
  watch_.SetStartupUpdateState(exchange_.Check_UpdateAtStartup(BuildUpdateRequestText(), clock_, log_));
  watch_.Hooks().startSelfUpdate = [this] { return StartSelfUpdate(); };
  task_.Hooks().callUpdate = [this] {
    const int state = exchange_.Call_Update([this] { return BuildUpdateRequestText(); });
    if (state != kUpdateCurrent) log_.WriteLog(Format(Literal(lit::kRefreshStateFormat).c_str(), state));
    return state;
  };
  task_.Hooks().startSelfUpdate = [this] { StartSelfUpdate(); };

  // Local overrides of the runtime parameters.
  ApplyLocalParameterFile();

  // From here on the watch cycle runs every second.
  SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);

  // F11 refreshes the CTID QR code from anywhere.
  hotKeyRegistered_ = RegisterHotKey(hwnd_, kHotKeyF11, 0, VK_F11) != FALSE;

  // The start-up summary.
  log_.WriteLog(Format(Literal(lit::kSummaryLineFormat).c_str(), hotKeyRegistered_ ? 1 : 0,
                       switches_.bits, par_.FaceClickDelay, par_.FaceClickMode,
                       par_.ParamRefreshMinutes, par_.CtidReturnDelay));

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

int TOrv_Assistant::StartSelfUpdate() {
  return selfUpdate_.ApplyUpdate(env_.exeChecksum, exchange_.ReleaseIdentities());
}

void TOrv_Assistant::ApplyLocalParameterFile() {
  const std::string path = env_.programFolder + Literal(lit::kLocalParamsFile);
  const std::string section = Literal(lit::kLocalParamsSection);
  ApplyLocalParameters(par_, [&](const std::string& key, const std::string& fallback) {
    return ini_->ReadString(path, section, key, fallback);
  });
}

bool TOrv_Assistant::FormCloseQuery() {
  if (!HideOnClose) return true;
  ShowWindow(hwnd_, SW_HIDE);
  return false;
}

void TOrv_Assistant::FormClose() {
  if (socketsStarted_) Socket::Cleanup();
  KillTimer(hwnd_, kTimer1);
  UnregisterHotKey(hwnd_, kHotKeyF11);
  const long long seconds = SecondsBetween(env_.started, clock_.Now());
  log_.WriteLog(Format(Literal(lit::kRunningTimeFormat).c_str(), FormatDuration(seconds).c_str()));
}

void TOrv_Assistant::Timer1Timer() {
  // The next tick comes a full second after this cycle ends, however long it
  // took, and a cycle never nests in another.
  KillTimer(hwnd_, kTimer1);
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
  // The CTID QR window handling plugs in here.
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
  }
}
