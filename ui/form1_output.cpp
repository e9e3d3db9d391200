// Form1 as the engine's WindowPort: the inputs a run reads, the lists and the status bar it
// fills, its boxes and its event pumping, and how the window keeps up with a long run.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "engine/texts.h"
#include "settings/settings.h"
#include "ui/form1.h"

namespace ui {
namespace texts = engine::texts;

namespace {

// While a run streams lines and paths in, the lists and the status bar repaint at most this often.
constexpr UINT kRepaintIntervalMs = 50;
// How far in from its left edge a list box draws its lines.
constexpr int kListTextMarginTwips = 60;

UINT iconFlags(engine::Icon icon) {
  switch (icon) {
    case engine::Icon::Exclamation:
      return MB_ICONEXCLAMATION;
    case engine::Icon::Information:
      return MB_ICONINFORMATION;
    case engine::Icon::None:
      break;
  }
  return 0;
}

}  // namespace

// ---- what a run shows ----
// A run reports every file it visits (the status text) and every file it lists. Repainting for
// each would cost more than the walk itself, above all under Wine, so the lists and the status bar
// hold their redrawing and catch up on a repaint tick; the status text is handed to the bar
// whenever anything could look at it (an event, a box, the tick), so it always names the file
// being visited.

void Form1::holdRedraw(HWND h, bool& held) {
  if (!held) {
    SendMessageW(h, WM_SETREDRAW, FALSE, 0);
    held = true;
  }
  startRepaintTick();
}

void Form1::startRepaintTick() {
  if (repaintTick_) return;
  SetTimer(hwnd_, kRepaintTimer, kRepaintIntervalMs, nullptr);
  repaintTick_ = true;
}

void Form1::handOverStatus() {
  if (!statusPending_) return;
  statusPending_ = false;
  // Wine's status bar repaints inside SB_SETTEXT; with redrawing held it only stores the text.
  if (runShown_) holdRedraw(statusBar, barHeld_);
  SendMessageW(statusBar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(statusText_.c_str()));
}

void Form1::showOutput() {
  // On the tick the bar paints with its newest text at once: its redrawing is let go first.
  if (barHeld_) {
    SendMessageW(statusBar, WM_SETREDRAW, TRUE, 0);
    barHeld_ = false;
    if (!statusPending_) InvalidateRect(statusBar, nullptr, TRUE);
  }
  if (statusPending_) {
    statusPending_ = false;
    SendMessageW(statusBar, SB_SETTEXTW, SB_SIMPLEID,
                 reinterpret_cast<LPARAM>(statusText_.c_str()));
  }
  for (engine::ResultList list : {engine::ResultList::Processed, engine::ResultList::Unprocessed}) {
    const int i = static_cast<int>(list);
    if (!listHeld_[i]) continue;
    HWND h = listOf(list);
    if (std::exchange(scrollPending_[i], false)) {
      // The newest line comes into view (the list keeps its last page full); nothing selected.
      const LRESULT count = SendMessageW(h, LB_GETCOUNT, 0, 0);
      SendMessageW(h, LB_SETTOPINDEX, static_cast<WPARAM>(count > 0 ? count - 1 : 0), 0);
    }
    measureNewLines(list);
    // Letting its redrawing go, the list box brings its scroll bars up to date itself; only its
    // lines need painting (a frame repaint as well cost a fifth of the tick under Wine).
    SendMessageW(h, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    listHeld_[i] = false;
  }
  // During a run the tick goes on, to hand over the status text; afterwards nothing changes.
  if (!runShown_ && repaintTick_) {
    KillTimer(hwnd_, kRepaintTimer);
    repaintTick_ = false;
  }
}

void Form1::measureNewLines(engine::ResultList list) {
  const int i = static_cast<int>(list);
  std::vector<std::wstring>& lines = unmeasured_[i];
  if (lines.empty()) return;
  int widest = extent_[i];
  for (const std::wstring& line : lines) {
    SIZE size = {};
    GetTextExtentPoint32W(measureDc_.get(), line.c_str(), static_cast<int>(line.size()), &size);
    // The list box draws its lines a little way in from its left edge.
    widest = std::max(widest, static_cast<int>(size.cx) + px(kListTextMarginTwips));
  }
  lines.clear();
  if (widest > extent_[i]) {
    extent_[i] = widest;
    SendMessageW(listOf(list), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
  }
}

void Form1::remeasureLists() {
  for (engine::ResultList list : {engine::ResultList::Processed, engine::ResultList::Unprocessed}) {
    const int i = static_cast<int>(list);
    HWND h = listOf(list);
    const LRESULT count = SendMessageW(h, LB_GETCOUNT, 0, 0);
    unmeasured_[i].clear();
    for (LRESULT n = 0; n < count; ++n) {
      std::wstring line(static_cast<size_t>(SendMessageW(h, LB_GETTEXTLEN, n, 0)) + 1, L'\0');
      line.resize(static_cast<size_t>(
          SendMessageW(h, LB_GETTEXT, n, reinterpret_cast<LPARAM>(line.data()))));
      unmeasured_[i].push_back(std::move(line));
    }
    extent_[i] = 0;
    SendMessageW(h, LB_SETHORIZONTALEXTENT, 0, 0);
    measureNewLines(list);
  }
}

// ---- WindowPort ----

std::wstring Form1::text(engine::TextBox box) {
  // The boxes in the order of engine::TextBox (LocalDir is txtShare).
  static constexpr HWND Form1::*kBoxes[] = {
      &Form1::txtHost,    &Form1::txtProject,    &Form1::txtPatch,
      &Form1::txtUser,    &Form1::txtPasswd,     &Form1::txtStartDate,
      &Form1::txtEndDate, &Form1::txtTargetUser, &Form1::txtShare};
  return windowText(this->*kBoxes[static_cast<int>(box)]);
}

bool Form1::isSelected(engine::ModeOption option) {
  HWND button = option == engine::ModeOption::Share   ? opShare
                : option == engine::ModeOption::Local ? opLocal
                                                      : View;
  return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Form1::isIgnoreBuildUserChecked() {
  return SendMessageW(chkIgnoreBuildUser, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Called for every visited file: during a run the text waits in the window until anything could
// look at it; otherwise it is shown at once.
void Form1::setStatusText(const std::wstring& text) {
  statusText_ = text;
  statusPending_ = true;
  if (runShown_) {
    startRepaintTick();
  } else {
    handOverStatus();
  }
}

void Form1::clearList(engine::ResultList list) {
  const int i = static_cast<int>(list);
  HWND box = listOf(list);
  SendMessageW(box, LB_RESETCONTENT, 0, 0);
  SendMessageW(box, LB_SETHORIZONTALEXTENT, 0, 0);
  reserved_[i] = 0;
  extent_[i] = 0;
  unmeasured_[i].clear();
  scrollPending_[i] = false;
}

void Form1::appendLine(engine::ResultList list, const std::wstring& line) {
  const int i = static_cast<int>(list);
  HWND box = listOf(list);
  holdRedraw(box, listHeld_[i]);
  int& reserved = reserved_[i];
  LRESULT count = SendMessageW(box, LB_GETCOUNT, 0, 0);
  // Grow the list's storage in doubling steps, so that a run of 100,000 lines does not copy
  // the whole list again every few lines.
  if (count >= reserved) {
    int more = reserved < 1024 ? 1024 : reserved;
    if (SendMessageW(box, LB_INITSTORAGE, static_cast<WPARAM>(more),
                     static_cast<LPARAM>(more) * 64 * sizeof(wchar_t)) != LB_ERRSPACE)
      reserved += more;
  }
  LRESULT index = SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  if (index == LB_ERR || index == LB_ERRSPACE) return;  // out of memory: the line is not shown
  // No line stays selected; the list is scrolled to its newest line when it paints again (in
  // a long run scrolling once per line would cost more than the rest of the walk).
  if (SendMessageW(box, LB_GETCURSEL, 0, 0) != LB_ERR)
    SendMessageW(box, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  scrollPending_[i] = true;
  unmeasured_[i].push_back(line);
}

engine::Answer Form1::showMessage(const std::wstring& text, const std::wstring& title,
                                  engine::Icon icon, engine::Buttons buttons) {
  showOutput();  // the box comes up over a window that shows where the run is
  UINT flags = iconFlags(icon);
  flags |= buttons == engine::Buttons::YesNo ? (MB_YESNO | MB_DEFBUTTON1) : MB_OK;
  int answer = MessageBoxW(hwnd_, text.c_str(), title.c_str(), flags);
  if (answer == IDYES) return engine::Answer::Yes;
  if (answer == IDNO) return engine::Answer::No;
  return engine::Answer::Ok;
}

// Once per file: one look at the queue; only when something waits does the window catch up,
// with the status text handed over first.
void Form1::processPendingEvents() {
  if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return;
  // Handed over before the pump, whatever waits: the first PeekMessage may handle a message
  // that another thread sends meanwhile.
  handOverStatus();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the message loop
      return;
    }
    dispatch(msg);
  }
}

// The run disables the button while it goes on: from then on the window shows the run's output
// on the repaint tick; when the button comes back, everything is shown at once.
void Form1::setPatchButton(const std::wstring& caption, bool enabled) {
  runShown_ = !enabled;
  showOutput();
  SetWindowTextW(cmdPatch, caption.c_str());
  EnableWindow(cmdPatch, enabled ? TRUE : FALSE);
}

void Form1::saveSettings() {
  settings::SavedInputs inputs;
  inputs.host = windowText(txtHost);
  inputs.project = windowText(txtProject);
  inputs.patch = windowText(txtPatch);
  inputs.startDate = windowText(txtStartDate);
  inputs.endDate = windowText(txtEndDate);
  inputs.user = windowText(txtUser);
  inputs.passwd = windowText(txtPasswd);
  inputs.ignoreBuildUser = isIgnoreBuildUserChecked();
  inputs.localDir = windowText(txtShare);
  settings::saveSettings(ini_, inputs);
}

}  // namespace ui
