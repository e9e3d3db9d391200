// Form1's own commands: start-up, the close request, the two pickers, the mode options, the
// About box, the Patch button and the clipboard copies of the result lists.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "engine/patcher.h"
#include "engine/texts.h"
#include "settings/settings.h"
#include "ui/form1.h"

namespace ui {
namespace texts = engine::texts;

namespace {

// How often and how long to wait for a clipboard that another program has open.
constexpr int kClipboardTries = 10;
constexpr DWORD kClipboardPauseMs = 50;

}  // namespace

// Binds the settings file beside the executable and fills the inputs from it.
void Form1::Form_Load() {
  std::vector<wchar_t> buffer(32768);
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::wstring exe(buffer.data(), length);
  std::wstring::size_type slash = exe.find_last_of(L"\\/");
  std::wstring dir = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
  engine::RunState& state = patcher_.state();
  state.iniFilePath = dir + L"\\Ostrabel.ini";
  ini_.setIniFileName(state.iniFilePath);
  // sharedNames starts empty with the run state and lives as long as the window.
  EnableWindow(patchDir, FALSE);
  EnableWindow(txtShare, FALSE);
  settings::clearIniAttributes(state.iniFilePath);
  settings::SavedInputs saved = settings::loadSettings(ini_);
  SetWindowTextW(txtHost, saved.host.c_str());
  SetWindowTextW(txtProject, saved.project.c_str());
  SetWindowTextW(txtPatch, saved.patch.c_str());
  SetWindowTextW(txtStartDate, saved.startDate.c_str());
  SetWindowTextW(txtEndDate, saved.endDate.c_str());
  SetWindowTextW(txtUser, saved.user.c_str());
  SetWindowTextW(txtPasswd, saved.passwd.c_str());
  SendMessageW(chkIgnoreBuildUser, BM_SETCHECK, saved.ignoreBuildUser ? BST_CHECKED : BST_UNCHECKED,
               0);
  SetWindowTextW(txtShare, saved.localDir.c_str());
}

// Closing is free while idle; during a run the user must confirm, and then the program ends
// on the spot, abandoning the run.
bool Form1::Form_QueryUnload() {
  if (!patcher_.state().running) return true;
  if (showMessage(texts::kQuitWhileRunning, texts::kNoticeTitle, engine::Icon::None,
                  engine::Buttons::YesNo) == engine::Answer::Yes)
    ExitProcess(0);
  return false;
}

// Picks the database's srcsafe.ini with the file-open dialog.
void Form1::iniPath_Click() {
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = texts::kIniFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.Flags = OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return;  // cancelled or failed: nothing changes
  SetWindowTextW(txtHost, file.data());
}

// Picks the local folder with the shell's folder picker.
void Form1::patchDir_Click() {
  std::wstring folder = ini_.BrowseForFolder(hwnd_, texts::kChooseFolder);
  if (!folder.empty()) SetWindowTextW(txtShare, folder.c_str());
}

void Form1::setPathControls(bool patchOn, bool dirOn, bool shareOn) {
  EnableWindow(txtPatch, patchOn ? TRUE : FALSE);
  EnableWindow(patchDir, dirOn ? TRUE : FALSE);
  EnableWindow(txtShare, shareOn ? TRUE : FALSE);
  keepTabStopOnSelectedOption();
}

// Tab enters the option group at its selected button, as in a dialog.
void Form1::keepTabStopOnSelectedOption() {
  for (HWND option : {opShare, opLocal, View}) {
    LONG_PTR style = GetWindowLongPtrW(option, GWL_STYLE);
    bool checked = SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED;
    LONG_PTR wanted = checked ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    if (wanted != style) SetWindowLongPtrW(option, GWL_STYLE, wanted);
  }
}

void Form1::opShare_Click() { setPathControls(true, false, false); }

void Form1::opLocal_Click() { setPathControls(false, true, true); }

void Form1::View_Click() { setPathControls(false, false, false); }

void Form1::menuAbout_Click() {
  using engine::Answer;
  if (showMessage(texts::kAboutVerse, texts::kAboutTitle, engine::Icon::Information,
                  engine::Buttons::YesNo) != Answer::Yes)
    return;
  while (showMessage(texts::kAboutAgain, texts::kAboutTitle, engine::Icon::Information,
                     engine::Buttons::YesNo) == Answer::Yes) {
  }
}

// The run happens inside this call; the engine handles its own failures.
void Form1::cmdPatch_Click() { patcher_.cmdPatch_Click(); }

void Form1::OnUnexpectedFailure(const std::exception_ptr& failure) {
  engine::RunState& state = patcher_.state();
  if (state.running) {
    state.running = false;
    setPatchButton(texts::kPatched, true);
    setStatusText(texts::kRunStopped);
  }
  showMessage(engine::failureText(failure), texts::kAppTitle, engine::Icon::None,
              engine::Buttons::Ok);
}

void Form1::menuSharedToClip_Click() { copyListCommand(ListShared); }

void Form1::menuUnshareToClip_Click() { copyListCommand(listUnshare); }

void Form1::copyListCommand(HWND oList) {
  if (listToClip(oList))
    showMessage(texts::kCopied, texts::kNoticeTitle, engine::Icon::Information,
                engine::Buttons::Ok);
  else
    showMessage(texts::kCopyFailed, texts::kNoticeTitle, engine::Icon::Exclamation,
                engine::Buttons::Ok);
}

bool Form1::listToClip(HWND oList) {
  LRESULT count = SendMessageW(oList, LB_GETCOUNT, 0, 0);
  std::vector<std::wstring> lines;
  lines.reserve(count > 0 ? static_cast<size_t>(count) : 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(oList, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring line(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
    LRESULT copied = SendMessageW(oList, LB_GETTEXT, static_cast<WPARAM>(i),
                                  reinterpret_cast<LPARAM>(line.data()));
    line.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    lines.push_back(std::move(line));
  }
  std::wstring text = engine::clipboardText(lines);

  ClipboardScope clipboard;
  if (!clipboard.open(hwnd_, kClipboardTries, kClipboardPauseMs)) return false;
  if (!EmptyClipboard()) return false;
  if (text.empty()) return true;  // an empty list leaves an empty clipboard
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return false;
  void* target = GlobalLock(memory.get());
  if (!target) return false;
  CopyMemory(target, text.c_str(), bytes);
  GlobalUnlock(memory.get());
  if (!SetClipboardData(CF_UNICODETEXT, memory.get())) return false;
  memory.release();  // the clipboard owns it now
  return true;
}

}  // namespace ui
