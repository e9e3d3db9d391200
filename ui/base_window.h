// The small base every window class of the program derives from: registers the class, keeps
// `this` in the window from WM_NCCREATE to WM_NCDESTROY, forwards each message to the derived
// class's HandleMessage and hands whatever that throws to its OnUnexpectedFailure.
#pragma once

#include <windows.h>

#include <exception>

namespace ui {

template <class Derived>
class BaseWindow {
 public:
  BaseWindow() = default;
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
      self = static_cast<Derived*>(cs->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = 0;
    // Nothing may unwind through the system's code that called the window procedure.
    try {
      result = self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
      self->OnUnexpectedFailure(std::current_exception());
    }
    if (msg == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

 protected:
  ~BaseWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
  }

  // Registers the window class once per process and creates the window.
  bool createWindow(const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int width,
                    int height, HWND parent, HMENU menu, HICON icon) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    if (!GetClassInfoExW(instance, Derived::kClassName, &wc)) {
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = &BaseWindow::WindowProc;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
      wc.lpszClassName = Derived::kClassName;
      wc.hIcon = icon;
      wc.hIconSm = icon;
      if (!RegisterClassExW(&wc)) return false;
    }
    CreateWindowExW(exStyle, Derived::kClassName, title, style, x, y, width, height, parent, menu,
                    instance, static_cast<Derived*>(this));
    return hwnd_ != nullptr;
  }

  HWND hwnd_ = nullptr;
};

}  // namespace ui
