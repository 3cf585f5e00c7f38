#include "net/self_update_win.h"

#include "crypto/crc32.h"

namespace {

// The caption of the message box being shown, for the timer that closes it.
std::string g_closingCaption;

BOOL CALLBACK CloseBoxWithCaption(HWND window, LPARAM) {
  char className[16] = {};
  char caption[256] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, caption, sizeof caption);
  if (lstrcmpA(className, "#32770") == 0 && g_closingCaption == caption) {
    // As if OK was pressed.
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
  }
  return TRUE;
}

// The environment variable that names, to the program an update starts, the
// event it sets once it is up. The name holds the starting process's id, so
// no other program's word is taken for it.
constexpr char kUpEventVariable[] = "TOLLIMER_UPDATE_UP_EVENT";

// A thread timer: the message box's own loop dispatches it. The box's
// time-out of MessageBoxTimeoutA is not used: it never fires under Wine.
void CALLBACK CloseMessageBoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EnumThreadWindows(GetCurrentThreadId(), CloseBoxWithCaption, 0);
}

}  // namespace

bool Win32UpdateFiles::Exists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32UpdateFiles::MakePlain(const std::string& path) {
  return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE) != FALSE;
}

bool Win32UpdateFiles::Delete(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool Win32UpdateFiles::Rename(const std::string& from, const std::string& to) {
  // On the disk before the call returns: a power cut right after the swap
  // must not find the folder without its program.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32UpdateFiles::Replace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::string Win32UpdateFiles::Crc32Text(const std::string& path) { return Crc32FileText(path); }

std::optional<Sha256Digest> Win32UpdateFiles::Sha256(const std::string& path) { return Sha256OfFile(path); }

std::int64_t Win32UpdateShell::TickMs() { return static_cast<std::int64_t>(GetTickCount64()); }

std::string Win32UpdateShell::ApplicationTitle() {
  char title[256] = {};
  HWND application = GetWindow(mainForm_, GW_OWNER);
  if (application) GetWindowTextA(application, title, sizeof title);
  return title;
}

void Win32UpdateShell::SetApplicationTitle(const std::string& title) {
  HWND application = GetWindow(mainForm_, GW_OWNER);
  if (application) SetWindowTextA(application, title.c_str());
}

void Win32UpdateShell::ShowSelfClosingMessage(const std::string& caption, const std::string& text,
                                              int ms) {
  g_closingCaption = caption;
  UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(ms), CloseMessageBoxTimer);
  // Over whatever is in front, but owned by nobody: a box owned by the
  // billing console's window would disable that window while it is shown
  // (and for good, should this process end meanwhile).
  MessageBoxA(nullptr, text.c_str(), caption.c_str(),
              MB_ICONINFORMATION | MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
  if (timer) KillTimer(nullptr, timer);
}

unsigned long Win32UpdateShell::StartProgram(const std::string& exePath) {
  ForgetStartedProgram();
  char eventName[64];
  wsprintfA(eventName, "Local\\TollimerUpdateUp-%lu", GetCurrentProcessId());
  upEvent_ = CreateEventA(nullptr, TRUE, FALSE, eventName);
  if (!upEvent_) return GetLastError() != 0 ? GetLastError() : ERROR_GEN_FAILURE;
  // The path is given as the program, not as a command line: a folder name
  // with blanks must not be cut into arguments.
  std::string commandLine = "\"" + exePath + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  const std::string folder = exePath.substr(0, exePath.rfind('\\') + 1);
  // The child inherits the variable; this process drops it again at once.
  SetEnvironmentVariableA(kUpEventVariable, eventName);
  const BOOL created = CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  const DWORD error = GetLastError();
  SetEnvironmentVariableA(kUpEventVariable, nullptr);
  if (!created) {
    ForgetStartedProgram();
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  CloseHandle(process.hThread);
  started_ = process.hProcess;
  return 0;
}

bool Win32UpdateShell::WaitUntilStartedProgramIsUp(int ms) {
  if (!started_ || !upEvent_) return false;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms);
  HANDLE handles[] = {upEvent_, started_};
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const DWORD waited = MsgWaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(deadline - now),
                                                   QS_ALLINPUT);
    if (waited == WAIT_OBJECT_0) return true;
    // The new program ended before it said a word: the word may still have
    // come just before it ended.
    if (waited == WAIT_OBJECT_0 + 1) return WaitForSingleObject(upEvent_, 0) == WAIT_OBJECT_0;
    if (waited != WAIT_OBJECT_0 + 2) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void Win32UpdateShell::EndStartedProgram() {
  if (started_) {
    TerminateProcess(started_, 1);
    // Its file is replaced next: wait, bounded, until the process has let go.
    WaitForSingleObject(started_, 10000);
  }
  ForgetStartedProgram();
}

void Win32UpdateShell::ForgetStartedProgram() {
  if (started_) CloseHandle(started_);
  if (upEvent_) CloseHandle(upEvent_);
  started_ = upEvent_ = nullptr;
}

Win32UpdateShell::~Win32UpdateShell() { ForgetStartedProgram(); }

void SayStartedProgramIsUp() {
  char eventName[64] = {};
  const DWORD length = GetEnvironmentVariableA(kUpEventVariable, eventName, sizeof eventName);
  if (length == 0 || length >= sizeof eventName) return;
  // Programs this one starts are not the update's.
  SetEnvironmentVariableA(kUpEventVariable, nullptr);
  HANDLE up = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
  if (!up) return;
  SetEvent(up);
  CloseHandle(up);
}

void Win32UpdateShell::CloseMainWindow() {
  allowClose_();
  SendMessageA(mainForm_, WM_CLOSE, 0, 0);
}
