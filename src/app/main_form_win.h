// TOrv_Assistant: the main window. Hidden while the assistant works (it is the
// settings window the cashier opens from the icon); it owns the timers, the
// F11 hot key and the start-up and shutdown sequences.
#pragma once
#include <windows.h>

#include <memory>

#include "app/machine_values.h"
#include "app/process_env.h"
#include "settings/run_params.h"
#include "app/task_timer.h"
#include "billing/bar_identity.h"
#include "log/activity_log.h"
#include "net/central_exchange.h"
#include "net/self_update_win.h"
#include "platform/http_client.h"
#include "platform/ini_file.h"
#include "platform/platform_win.h"
#include "platform/registry.h"
#include "watcher/watch_cycle.h"

class TOrv_Assistant {
 public:
  explicit TOrv_Assistant(const ProcessEnvironment& env);
  // Creates the window (owned by the application window); runs FormCreate.
  bool Create(HWND applicationWindow);
  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  void FormCreate();
  bool FormCloseQuery();
  void FormClose();
  void Timer1Timer();
  void Timer_TaskTimer();
  void WMHotKey(WPARAM id);
  void OnCommand(unsigned id);
  void ApplyLocalParameterFile();
  // The central-service exchange and the self-update.
  std::string BuildUpdateRequestText();
  int StartSelfUpdate();

  ProcessEnvironment env_;
  Win32Desktop desktop_;
  Win32Clock clock_;
  Win32Files files_;
  std::unique_ptr<Registry> registry_ = MakeWin32Registry();
  std::unique_ptr<IniFile> ini_ = MakeWin32IniFile();
  ActivityLog log_{files_, clock_};
  BarIdentity bar_;
  TCenterPar par_;
  RuntimeSwitches switches_;
  WatchCycle watch_{desktop_, clock_, log_, switches_};
  TaskTimer task_{desktop_, switches_, par_};

  HWND hwnd_ = nullptr;
  bool HideOnClose = true;

  // The central-service exchange and the self-update.
  MachineValues machine_;
  int neighbourCount_ = 0;
  std::unique_ptr<HttpClient> http_ = MakeWinInetHttpClient();
  CentralExchange exchange_{*http_, par_, env_.updateAddress, env_.exeChecksum};
  Win32UpdateFiles updateFiles_;
  Win32UpdateShell updateShell_{hwnd_, [this] { HideOnClose = false; }};
  SelfUpdate selfUpdate_;
  bool hotKeyRegistered_ = false;
  bool socketsStarted_ = false;
};
