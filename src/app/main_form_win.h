// TOrv_Assistant: the main window. Hidden while the assistant works (it is the
// settings window the cashier opens from the icon); it owns the timers, the
// F11 hot key and the start-up and shutdown sequences.
#pragma once
#include <windows.h>

#include <memory>

#include "app/central_work.h"
#include "app/hot_key_registration.h"
#include "app/machine_values.h"
#include "app/process_env.h"
#include "app/task_timer.h"
#include "billing/bar_identity.h"
#include "blacklist/blacklist_alert.h"
#include "blacklist/blacklist_panel_win.h"
#include "blacklist/blacklist_store.h"
#include "desktop/carousel.h"
#include "desktop/settings_panel.h"
#include "desktop/settings_panel_win.h"
#include "desktop/tray_icon_win.h"
#include "log/activity_log.h"
#include "net/central_exchange.h"
#include "net/network_worker_win.h"
#include "net/self_update_win.h"
#include "platform/http_client.h"
#include "platform/ini_file.h"
#include "platform/page_reader.h"
#include "platform/picture_decoder.h"
#include "platform/picture_files.h"
#include "platform/platform_win.h"
#include "platform/registry.h"
#include "platform/wallpaper_screen.h"
#include "settings/run_params.h"
#include "settings/settings.h"
#include "watcher/ctid_window.h"
#include "watcher/face_check_form_win.h"
#include "watcher/face_verification.h"
#include "watcher/placement.h"
#include "watcher/watch_cycle.h"

class TOrv_Assistant {
 public:
  explicit TOrv_Assistant(const ProcessEnvironment& env);
  // Creates the window (owned by the application window); runs FormCreate.
  bool Create(HWND applicationWindow);
  HWND Handle() const { return hwnd_; }
  // True when the network worker outlived the close: the process must end
  // at once rather than tear down what its job may still use.
  bool NetworkWorkerRunning() const { return worker_.Running(); }

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
  void WireFaceAndPlacement();

  // The notification-area icon, its menu and the commands of its own.
  void CreateTrayIcon();
  void ShowSettingsWindow();
  void HideSettingsWindow();
  void N8Click();
  void Orv_AutorunClick();
  void N2Click();
  void MakeShortcut();
  // The central-service exchange and the self-update.
  std::string BuildUpdateRequestText();
  void LogStartupSummary();
  bool QuietMoment();

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
  Win32Sound sound_;
  // Extended-screen placement and face verification (watch-cycle steps 11 and 3).
  TfrmFaceCheck faceForm_;
  ExtendedScreenPlacement placement_{desktop_, *registry_, log_, switches_};
  FaceVerification face_{{desktop_, clock_, sound_, *registry_, log_, faceForm_}, par_, switches_};
  // The CTID QR window (watch-cycle steps 11 and 13, the task timer, F11).
  std::unique_ptr<PageReader> pageReader_ = MakeWin32PageReader();
  CtidWindow ctid_{desktop_, *registry_, log_, *pageReader_, switches_, par_};
  // The persisted settings and the wallpaper carousel.
  SettingsModel settings_;
  std::unique_ptr<PictureFiles> pictureFiles_ = MakeWin32PictureFiles();
  std::unique_ptr<PictureDecoder> pictureDecoder_ = MakeWicPictureDecoder();
  std::unique_ptr<WallpaperScreen> wallpaperScreen_ = MakeWin32WallpaperScreen();
  WallpaperCarousel carousel_{*pictureFiles_, *pictureDecoder_, *wallpaperScreen_, *registry_, log_};
  // The settings window's controls and what the cashier's clicks on them do.
  TSettingsPanelForm panelForm_;
  SettingsPanel settingsPanel_{{panelForm_, desktop_, *registry_, log_, clock_, *pictureFiles_, carousel_,
                                switches_, faceForm_, settings_}};

  HWND hwnd_ = nullptr;
  HWND application_ = nullptr;  // the hidden application window captioned kApplicationTitle
  HMENU PopupMenu1 = nullptr;
  std::unique_ptr<TTrayIcon> trayIcon_;
  bool autorunChecked_ = false;  // the check mark of "开机自动运行(&R)"
  bool HideOnClose = true;

  // The central-service exchange and the self-update. All their network
  // work runs on the worker, with a client of its own; the window thread's
  // client serves the blacklist store's own load only.
  MachineValues machine_;
  int neighbourCount_ = 0;
  std::unique_ptr<HttpClient> http_ = MakeServiceHttpClient();
  NetworkWorker worker_;
  std::unique_ptr<HttpClient> workerHttp_ = MakeServiceHttpClient();
  QueuedRequests hitReports_{worker_.Queue(), *workerHttp_};
  Win32UpdateFiles updateFiles_;
  Win32UpdateShell updateShell_{hwnd_, [this] { HideOnClose = false; }};
  SelfUpdate selfUpdate_;
  HotKeyRegistration hotKey_{[this] { return RegisterHotKey(hwnd_, kCtidHotKeyId, 0, VK_F11) != FALSE; },
                             [this] {
                               ctid_.SetHotKeyRegistered(true);
                               settingsPanel_.ShowHotKey(true);
                             },
                             log_};
  bool socketsStarted_ = false;
  bool hotKeyAtStart_ = false;  // the F11 registration at the end of start-up

  // The blacklist: its store, its panel and the alert on a swiped ID.
  BlacklistStore blacklist_;
  TfrmBlackList frmBlackList_{blacklist_};
  BlacklistAlert blacklistAlert_;

  CentralWork central_{{worker_.Queue(), *workerHttp_, log_, par_, blacklist_, selfUpdate_,
                        env_.updateAddress, env_.exeChecksum}};
};
