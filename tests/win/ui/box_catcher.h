// Catches the modal dialogs a window command opens (message boxes, the file and folder
// pickers) with a WH_CBT hook on the calling thread, records what they show and answers them.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace uitest {

struct SeenBox {
  std::wstring title, text;
  bool hasIcon = false, ok = false, yes = false, no = false;
  int defaultId = 0;  // the button drawn as default, which Enter presses
};

class BoxCatcher {
 public:
  BoxCatcher();
  ~BoxCatcher();
  // Answers the next message boxes with these buttons, in order; unplanned ones are dismissed.
  void answer(std::initializer_list<int> buttons) { answers_.insert(answers_.end(), buttons); }
  // The next dialog that is not a message box goes to `handler`; without one it is cancelled.
  void onDialog(std::function<void(HWND)> handler) { onDialog_ = std::move(handler); }
  const std::vector<SeenBox>& boxes() const { return boxes_; }
  int otherDialogs() const { return otherDialogs_; }

 private:
  static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK timer(HWND dialog, UINT, UINT_PTR id, DWORD);
  void inspect(HWND dialog);
  HHOOK hook_;
  std::deque<int> answers_;
  std::function<void(HWND)> onDialog_;
  std::vector<SeenBox> boxes_;
  int otherDialogs_ = 0;
};

std::wstring windowText(HWND hwnd);

}  // namespace uitest
