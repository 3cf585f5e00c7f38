// Prints what the running assistant holds: its working set, its GDI and USER
// object counts (GetGuiResources) and the windows it owns, found by its main
// window's class. One line of figures, read by tests/bench/panel_cycles.py
// before and after opening and closing its windows many times.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

namespace {

struct WindowCount {
  DWORD process = 0;
  int topLevel = 0;
  int children = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM data) {
  ++reinterpret_cast<WindowCount*>(data)->children;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM data) {
  auto* count = reinterpret_cast<WindowCount*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == count->process) {
    ++count->topLevel;
    EnumChildWindows(window, CountChild, data);
  }
  return TRUE;
}

}  // namespace

int main() {
  HWND form = FindWindowA("TOrv_Assistant", nullptr);
  if (!form) {
    std::printf("no assistant window\n");
    return 2;
  }
  WindowCount count;
  GetWindowThreadProcessId(form, &count.process);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, count.process);
  if (!process) {
    std::printf("cannot open process %lu: error %lu\n", count.process, GetLastError());
    return 3;
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  const BOOL haveMemory = GetProcessMemoryInfo(process, &memory, sizeof memory);
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
  CloseHandle(process);
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  std::printf("working_set_kib=%lld gdi_objects=%lu user_objects=%lu top_level_windows=%d child_windows=%d\n",
              haveMemory ? static_cast<long long>(memory.WorkingSetSize / 1024) : -1LL, gdi, user,
              count.topLevel, count.children);
  return 0;
}
