// Text of a window, any length; the dialog hook itself is in the header.
#include "box_catcher.h"

std::wstring uitest::windowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return text;
}
