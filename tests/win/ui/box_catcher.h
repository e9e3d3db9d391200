// Catches the modal dialogs a window command opens (message boxes, the file and folder
// pickers) with a WH_CBT hook on the calling thread, records what they show and answers them.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace uitest {

// What one message box showed.
struct SeenBox {
  std::wstring title;
  std::wstring text;
  bool hasIcon = false;
  bool ok = false, yes = false, no = false, cancel = false;
  int defaultId = 0;
  int focusId = 0;
};

class BoxCatcher {
 public:
  // A handler gets the dialog once it is shown; it answers it (for instance by posting a
  // command) and may record what it saw.
  using Handler = std::function<void(HWND dialog)>;

  BoxCatcher();
  ~BoxCatcher();
  BoxCatcher(const BoxCatcher&) = delete;
  BoxCatcher& operator=(const BoxCatcher&) = delete;

  // Answers the next message boxes with these buttons (IDYES, IDNO, IDOK), in order.
  void answer(std::initializer_list<int> buttons) {
    for (int b : buttons) answers_.push_back(b);
  }
  // The next dialog that is not a message box goes to `handler`.
  void onDialog(Handler handler) { dialogHandlers_.push_back(std::move(handler)); }

  const std::vector<SeenBox>& boxes() const { return boxes_; }
  int otherDialogs() const { return otherDialogs_; }

 private:
  static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam);
  void activated(HWND dialog);
  void inspect(HWND dialog);
  static void CALLBACK timerProc(HWND, UINT, UINT_PTR id, DWORD);
  HWND pending_ = nullptr;

  HHOOK hook_ = nullptr;
  std::deque<int> answers_;
  std::deque<Handler> dialogHandlers_;
  std::vector<SeenBox> boxes_;
  int otherDialogs_ = 0;
  static thread_local BoxCatcher* current_;
};

// Text of a window, any length.
std::wstring windowText(HWND hwnd);

}  // namespace uitest
