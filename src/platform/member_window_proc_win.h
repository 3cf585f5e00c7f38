// The window procedure of a window that belongs to one C++ object: the object
// is the creation parameter (CreateWindowExA's last argument); WM_NCCREATE
// stores it in GWLP_USERDATA and its handle member, and every message from
// then on goes to its handler. Messages before WM_NCCREATE get the default.
#pragma once
#include <windows.h>

template <typename T, HWND T::*Handle, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK MemberWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->*Handle = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return self ? (self->*Handler)(msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
}
