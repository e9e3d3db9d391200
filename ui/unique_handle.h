// Owning wrappers for the few Win32 handles the window keeps (fonts, memory DCs, global memory):
// one owner, no copies, explicit get(), and put() that releases the old handle first.
#pragma once

#include <windows.h>

#include <utility>

namespace ui {

template <typename Handle, typename Closer>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Handle{})) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.h_, Handle{}));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Handle{}; }
  void reset(Handle h = Handle{}) {
    if (h_ != Handle{}) Closer{}(h_);
    h_ = h;
  }
  // Gives up ownership, for handing the handle to a new owner (the clipboard, for instance).
  Handle release() { return std::exchange(h_, Handle{}); }
  // For out-parameters: releases the current handle first.
  Handle* put() {
    reset();
    return &h_;
  }

 private:
  Handle h_{};
};

struct GdiObjectCloser {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct DcCloser {
  void operator()(HDC h) const { DeleteDC(h); }
};
struct GlobalCloser {
  void operator()(HGLOBAL h) const { GlobalFree(h); }
};
struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

using UniqueFont = UniqueHandle<HFONT, GdiObjectCloser>;
using UniqueDc = UniqueHandle<HDC, DcCloser>;
using UniqueGlobal = UniqueHandle<HGLOBAL, GlobalCloser>;
using UniqueKernelHandle = UniqueHandle<HANDLE, HandleCloser>;

// Closes the clipboard when the scope that opened it ends.
class ClipboardScope {
 public:
  ClipboardScope() = default;
  ClipboardScope(const ClipboardScope&) = delete;
  ClipboardScope& operator=(const ClipboardScope&) = delete;
  ~ClipboardScope() {
    if (open_) CloseClipboard();
  }
  // Opens the clipboard for `owner`, retrying while another program holds it.
  bool open(HWND owner, int tries, DWORD pauseMs) {
    for (int i = 0; i < tries && !open_; ++i) {
      if (i != 0) Sleep(pauseMs);
      open_ = OpenClipboard(owner) != FALSE;
    }
    return open_;
  }

 private:
  bool open_ = false;
};

}  // namespace ui
