// Reads what the user can see of a running Ostrabel.exe from outside the process (and puts text
// too long to type into its boxes), for the
// end-to-end tests: the open message box (title, icon, text, buttons) or the main window's
// controls (texts, enabled and checked states, the status bar). Prints UTF-8 "key=value" lines;
// CR and LF inside a text are written as \r and \n so that line ends can be checked exactly.
//
//   wintext box [WAIT_MS]   the open message box, waiting for it up to WAIT_MS (default 5000);
//                           prints "none" when no box is open
//   wintext form            the main window's controls (text, enabled, checked, the centre in
//                           screen coordinates); exit status 1 when there is no window
//   wintext fill NAME COUNT puts COUNT times "9" into the box NAME, as a paste would
//   wintext center          moves the main window to the middle of the screen, where the message
//                           boxes Windows centres on the screen lie over it (for pictures)
// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/form1.h"

namespace {

// The identifier of a message box's text control.
constexpr int kMessageBoxText = 0xFFFF;

void print(const std::wstring& key, const std::wstring& value) {
  std::wstring line = key + L"=";
  for (wchar_t c : value) line += c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : std::wstring(1, c);
  line += L"\n";
  // At most three bytes of UTF-8 for each UTF-16 unit.
  std::string utf8(line.size() * 3, '\0');
  utf8.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(),
                          static_cast<int>(utf8.size()), nullptr, nullptr)));
  fwrite(utf8.data(), 1, utf8.size(), stdout);
}

// WM_GETTEXT is marshalled between processes, so it reads another program's controls.
std::wstring windowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return {};
  std::vector<wchar_t> buffer(length + 1);
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  return std::wstring(buffer.data(), copied);
}

// The status bar's simple text is only reachable with SB_GETTEXTW, whose buffer must lie in
// the window's own process: it is allocated there and read back.
std::wstring statusText(HWND bar) {
  DWORD pid = 0;
  GetWindowThreadProcessId(bar, &pid);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return L"<unreadable>";
  DWORD_PTR length = 0;
  SendMessageTimeoutW(bar, SB_GETTEXTLENGTHW, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  size_t chars = LOWORD(length) + 1;
  std::wstring text;
  void* remote =
      VirtualAllocEx(process, nullptr, chars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE);
  if (remote) {
    DWORD_PTR ignored = 0;
    // wParam 0: Wine keeps a simple status bar's text as part 0 for SB_GETTEXT.
    SendMessageTimeoutW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    std::vector<wchar_t> local(chars);
    SIZE_T read = 0;
    if (ReadProcessMemory(process, remote, local.data(), chars * sizeof(wchar_t), &read))
      text.assign(local.data(), LOWORD(length));
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

// Puts the first visible message box into the HWND that `found` points to.
BOOL CALLBACK findBox(HWND hwnd, LPARAM found) {
  wchar_t cls[16] = {};
  if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, cls, 16) && lstrcmpW(cls, L"#32770") == 0 &&
      GetDlgItem(hwnd, kMessageBoxText)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

struct BoxContent {
  bool icon = false;
  std::vector<std::wstring> buttons;
  std::wstring defaultButton;
};

BOOL CALLBACK readBoxChild(HWND child, LPARAM param) {
  auto* content = reinterpret_cast<BoxContent*>(param);
  wchar_t cls[16] = {};
  GetClassNameW(child, cls, 16);
  LONG style = GetWindowLongW(child, GWL_STYLE);
  if (!(style & WS_VISIBLE)) return TRUE;
  if (lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
    if (icon) content->icon = true;
  } else if (lstrcmpiW(cls, L"Button") == 0) {
    std::wstring text = windowText(child);
    content->buttons.push_back(text);
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) content->defaultButton = text;
  }
  return TRUE;
}

int showBox(DWORD waitMs) {
  HWND box = nullptr;
  for (DWORD waited = 0;; waited += 100) {
    EnumWindows(findBox, reinterpret_cast<LPARAM>(&box));
    if (box || waited >= waitMs) break;
    Sleep(100);
  }
  if (!box) {
    print(L"box", L"none");
    return 0;
  }
  Sleep(200);  // the box sets its default button once its own loop runs
  BoxContent content;
  EnumChildWindows(box, readBoxChild, reinterpret_cast<LPARAM>(&content));
  print(L"title", windowText(box));
  print(L"icon", content.icon ? L"yes" : L"no");
  print(L"text", windowText(GetDlgItem(box, kMessageBoxText)));
  std::wstring buttons;
  for (const auto& b : content.buttons) buttons += (buttons.empty() ? L"" : L"|") + b;
  print(L"buttons", buttons);
  print(L"default", content.defaultButton);
  return 0;
}

// The controls that the scripts name, by their names in ui::ctl.
struct NamedControl {
  int id;
  const wchar_t* name;
};
#define NAMED(control) \
  { ui::ctl::control, L"" #control }
constexpr NamedControl kControls[] = {
    NAMED(txtHost),       NAMED(txtProject),         NAMED(txtPatch), NAMED(txtShare),
    NAMED(txtStartDate),  NAMED(txtEndDate),         NAMED(txtUser),  NAMED(txtPasswd),
    NAMED(txtTargetUser), NAMED(chkIgnoreBuildUser), NAMED(opShare),  NAMED(opLocal),
    NAMED(View),          NAMED(cmdPatch),           NAMED(iniPath),  NAMED(patchDir)};
#undef NAMED

// Puts a text of `count` times "9" into a box, as a paste would; the text is longer than anyone
// types, so it is sent rather than typed.
int fillBox(const std::wstring& name, int count) {
  HWND form = FindWindowW(ui::Form1::kClassName, nullptr);
  for (const auto& c : kControls) {
    if (form && name == c.name) {
      const std::wstring text(static_cast<size_t>(count), L'9');
      DWORD_PTR done = 0;
      SendMessageTimeoutW(GetDlgItem(form, c.id), WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 120000, &done);
      return done ? 0 : 1;
    }
  }
  return 1;
}

int centerForm() {
  HWND form = FindWindowW(ui::Form1::kClassName, nullptr);
  RECT r{};
  if (!form || !GetWindowRect(form, &r)) return 1;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
  return SetWindowPos(form, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) ? 0
                                                                                             : 1;
}

int showForm() {
  HWND form = FindWindowW(ui::Form1::kClassName, nullptr);
  if (!form) {
    print(L"form", L"none");
    return 1;
  }
  print(L"title", windowText(form));
  for (const auto& c : kControls) {
    HWND h = GetDlgItem(form, c.id);
    if (!h) continue;
    std::wstring name = c.name;
    print(name, windowText(h));
    print(name + L".enabled", IsWindowEnabled(h) ? L"1" : L"0");
    RECT r{};
    GetWindowRect(h, &r);  // screen coordinates, which are the X root's for Wine's windows
    print(name + L".center",
          std::to_wstring((r.left + r.right) / 2) + L" " + std::to_wstring((r.top + r.bottom) / 2));
    wchar_t cls[16] = {};
    GetClassNameW(h, cls, 16);
    LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
    bool checkable = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                     type == BS_AUTORADIOBUTTON;
    if (lstrcmpiW(cls, L"Button") == 0 && checkable) {
      DWORD_PTR state = 0;
      SendMessageTimeoutW(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
      print(name + L".checked", state == BST_CHECKED ? L"1" : L"0");
    }
  }
  print(L"statusBar", statusText(GetDlgItem(form, ui::ctl::statusBar)));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"box") return showBox(argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 5000);
  if (command == L"form") return showForm();
  if (command == L"fill" && argc > 3) return fillBox(argv[2], _wtoi(argv[3]));
  if (command == L"center") return centerForm();
  fputs("usage: wintext box [WAIT_MS] | wintext form | wintext fill NAME COUNT | wintext center\n",
        stderr);
  return 2;
}
