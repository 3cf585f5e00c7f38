// Cost of the face-comparison window's mirror (Timer2's work): one copy of a
// 640 x 480 camera preview into Image1 and its repaint, per frame, and the
// process's GDI and USER object counts and memory sampled while mirroring,
// which must stay flat. Prints figures.
//
//   face_mirror_bench.exe [frames]   default 6000: ten minutes at 10 frames/s
#define PSAPI_VERSION 2  // GetProcessMemoryInfo from kernel32, no psapi.dll import
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

#include "watcher/face_check_form_win.h"

namespace {

unsigned g_frame = 0;

// The camera preview stand-in: a new picture on every frame.
LRESULT CALLBACK PreviewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r{};
    GetClientRect(hwnd, &r);
    HBRUSH field = CreateSolidBrush(RGB(g_frame * 7 % 256, g_frame * 13 % 256, g_frame * 29 % 256));
    FillRect(dc, &r, field);
    DeleteObject(field);
    RECT bar{static_cast<LONG>(g_frame * 11 % 640), 0, static_cast<LONG>(g_frame * 11 % 640 + 16), r.bottom};
    FillRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreatePreview() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PreviewProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "MirrorBenchPreview";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 20, 20, 640, 480, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

struct Sample {
  DWORD gdi, user;
  double commitMb;
};

Sample Take() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  return Sample{GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS),
                // Wine leaves PrivateUsage at 0; the commit charge is the
                // same figure on Windows.
                static_cast<double>(memory.PagefileUsage) / (1024.0 * 1024.0)};
}

}  // namespace

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : 6000;
  HWND preview = CreatePreview();
  TfrmFaceCheck form;
  if (!preview || !form.Create(nullptr)) {
    std::printf("cannot create the windows\n");
    return 1;
  }
  form.Show();
  form.SetPreviewWindow(reinterpret_cast<Hwnd>(preview));
  Pump();

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  double mirrorSeconds = 0, worst = 0;
  const Sample first = Take();
  std::printf("%8s %8s %8s %12s\n", "frame", "GDI", "USER", "commit MB");
  std::printf("%8d %8lu %8lu %12.2f\n", 0, first.gdi, first.user, first.commitMb);
  Sample last = first;
  for (long i = 1; i <= frames; ++i) {
    ++g_frame;
    InvalidateRect(preview, nullptr, FALSE);
    UpdateWindow(preview);
    QueryPerformanceCounter(&start);
    form.Timer2Timer();
    UpdateWindow(form.Image1());
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    mirrorSeconds += seconds;
    if (seconds > worst) worst = seconds;
    Pump();
    if (i % (frames / 10 > 0 ? frames / 10 : 1) == 0) {
      last = Take();
      std::printf("%8ld %8lu %8lu %12.2f\n", i, last.gdi, last.user, last.commitMb);
    }
  }
  std::printf("mirror of 640x480: %.3f ms per frame on average, %.3f ms at worst, over %ld frames\n",
              1000.0 * mirrorSeconds / static_cast<double>(frames), 1000.0 * worst, frames);
  std::printf("GDI objects %lu -> %lu, USER objects %lu -> %lu, committed memory %.2f -> %.2f MB\n", first.gdi,
              last.gdi, first.user, last.user, first.commitMb, last.commitMb);
  if (first.gdi == 0 && last.gdi == 0)
    std::printf("(this system reports no GDI/USER object counts; committed memory is the leak figure here: a lost 640x480 bitmap per frame would add about 1.2 MB per frame)\n");
  DestroyWindow(preview);
  return 0;
}
