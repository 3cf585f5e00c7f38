// Cost of one idle watch cycle under the real window manager (run it under
// Wine or on Windows with no billing-console window open): how many top-level
// window searches a cycle makes and how much CPU time it takes. Prints figures.
#include <windows.h>

#include <cstdio>

#include "fakes/fake_files.h"
#include "log/activity_log.h"
#include "platform/page_reader.h"
#include "platform/platform_win.h"
#include "platform/registry.h"
#include "watcher/ctid_window.h"
#include "settings/run_params.h"
#include "watcher/face_check_form_win.h"
#include "watcher/face_verification.h"
#include "watcher/placement.h"
#include "watcher/watch_cycle.h"

namespace {

// Counts the top-level searches on their way to the real desktop.
class CountingDesktop : public Win32Desktop {
 public:
  long searches = 0;
  Hwnd FindTopWindow(const char* className, const char* caption) override {
    ++searches;
    return Win32Desktop::FindTopWindow(className, caption);
  }
};

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](FILETIME t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

int main() {
  CountingDesktop desktop;
  Win32Clock clock;
  FakeFiles files;  // log switched off: the idle cycle writes nothing anyway
  ActivityLog log(files, clock);
  RuntimeSwitches switches;
  switches.Apply(63);  // every feature on: the most searches an idle cycle makes
  WatchCycle cycle(desktop, clock, log, switches);
  // Steps 3, 11 and 13 as the assistant wires them: the face dialog, the
  // windows of the customer's screen and the CTID window are searched for on
  // every cycle.
  TCenterPar par;
  std::unique_ptr<Registry> registry = MakeWin32Registry();
  std::unique_ptr<PageReader> page = MakeWin32PageReader();
  CtidWindow ctid(desktop, *registry, log, *page, switches, par);
  Win32Sound sound;
  TfrmFaceCheck faceForm;
  faceForm.Create(nullptr);
  FaceVerification face({desktop, clock, sound, *registry, log, faceForm}, par, switches);
  ExtendedScreenPlacement placement(desktop, *registry, log, switches);
  placement.moveCtidWindow = [&] { ctid.Move_CTIDWin(kCtidAutomatic); };
  cycle.Hooks().faceVerification = [&] { return face.Run(); };
  cycle.Hooks().placeHandoverAndQrWindows = [&] { placement.PlaceHandoverAndQrWindows(); };
  cycle.Hooks().ctidReturnStep = [&] { ctid.AutoReturnStep(cycle.MainCashierSeen()); };

  const int kCycles = 2000;
  cycle.RunWatchCycle();
  desktop.searches = 0;
  const double start = CpuSeconds();
  const DWORD startTicks = GetTickCount();
  for (int i = 0; i < kCycles; ++i) cycle.RunWatchCycle();
  const double cpu = CpuSeconds() - start;
  const DWORD wall = GetTickCount() - startTicks;
  std::printf("idle watch cycle: %.1f top-level window searches per cycle\n",
              static_cast<double>(desktop.searches) / kCycles);
  std::printf("idle watch cycle: %.1f us CPU, %.1f us wall per cycle (%d cycles)\n",
              cpu * 1e6 / kCycles, wall * 1e3 / kCycles, kCycles);
  return 0;
}
