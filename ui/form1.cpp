// Form1: the window itself. Its controls and where they stand, its creation and layout at any
// DPI, and the messages it handles. The window's commands are in form1_commands.cpp, what it
// shows of a run in form1_output.cpp.
#include "ui/form1.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <utility>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace ui {
namespace texts = engine::texts;

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
constexpr int kClientWidthTwips = 11115;
constexpr int kClientHeightTwips = 9435;
constexpr COLORREF kRed = RGB(255, 0, 0);
// Sent when the window moves to a monitor of another DPI (Windows 8.1 and later SDKs name it).
constexpr UINT kWmDpiChanged = 0x02E0;

// Per-monitor DPI functions exist from Windows 10 on; older systems use the system DPI.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

UINT systemDpi() {
  HDC screen = GetDC(nullptr);
  UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return dpi ? dpi : 96;
}

UINT windowDpi(HWND hwnd) {
  static auto fn = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (fn && hwnd) {
    UINT dpi = fn(hwnd);
    if (dpi) return dpi;
  }
  return systemDpi();
}

RECT windowRectForClient(int width, int height, UINT dpi) {
  RECT rc = {0, 0, width, height};
  static auto fn = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (fn)
    fn(&rc, kWindowStyle, TRUE, kWindowExStyle, dpi);
  else
    AdjustWindowRectEx(&rc, kWindowStyle, TRUE, kWindowExStyle);
  return rc;
}

HMENU createMenuBar() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, ctl::menuSharedToClip, texts::kMenuCopyProcessed);
  AppendMenuW(file, MF_STRING, ctl::menuUnshareToClip, texts::kMenuCopyUnprocessed);
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, ctl::menuAbout, texts::kMenuAbout);
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), texts::kMenuFile);
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), texts::kMenuHelp);
  return bar;
}

// The kinds of control in the layout table, each with its window class and styles.
enum class Kind {
  Edit,
  Password,
  Push,
  Radio,
  Check,
  List,
  Label,
  FixedLabel,
  RedLabel,
  HelpLabel,
  Frame
};

struct KindStyle {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

KindStyle styleOf(Kind kind) {
  constexpr DWORD kEdit = kChild | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
  constexpr DWORD kLabel = kChild | SS_LEFT | SS_NOPREFIX;
  switch (kind) {
    case Kind::Edit:
      return {L"EDIT", kEdit, WS_EX_CLIENTEDGE};
    case Kind::Password:
      return {L"EDIT", kEdit | ES_PASSWORD, WS_EX_CLIENTEDGE};
    case Kind::Push:
      return {L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::Radio:
      return {L"BUTTON", kChild | BS_AUTORADIOBUTTON, 0};
    case Kind::Check:
      return {L"BUTTON", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case Kind::List:
      return {L"LISTBOX",
              kChild | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_HASSTRINGS |
                  LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE};
    case Kind::Label:
    case Kind::FixedLabel:
    case Kind::RedLabel:
    case Kind::HelpLabel:
      return {L"STATIC", kLabel, 0};
    case Kind::Frame:
      return {L"BUTTON", kChild | BS_GROUPBOX, 0};
  }
  return {L"STATIC", kChild, 0};
}

// Sample and help texts are red; labels other than Label16 are as wide as their captions; the
// help labels stand inside Frame3, placed from its corner.
bool isRed(Kind kind) { return kind == Kind::RedLabel || kind == Kind::HelpLabel; }
bool fitsCaption(Kind kind) { return kind == Kind::Label || isRed(kind); }
bool inFrame3(Kind kind) { return kind == Kind::HelpLabel; }

}  // namespace

// One row of the layout table: the control, its kind, its caption or first text, and its place
// in twips (from the client area's corner, or for the help labels from Frame3's).
struct Form1::ControlDef {
  HWND Form1::*member;
  int id;
  Kind kind;
  const wchar_t* text;
  int left, top, width, height;
  DWORD extraStyle = 0;
};

// Creation order is z-order: the tab-stop controls in tab order, then the labels (the first of
// them closes the option group), then the frames behind everything, then the status bar.
const Form1::ControlDef Form1::kControls[] = {
    {&Form1::txtHost, ctl::txtHost, Kind::Edit, texts::kSampleHost, 1560, 195, 3960, 270},
    {&Form1::txtProject, ctl::txtProject, Kind::Edit, texts::kSampleProject, 1560, 630, 3960, 270},
    {&Form1::txtShare, ctl::txtShare, Kind::Edit, texts::kSampleLocalDir, 1560, 1545, 3975, 270},
    {&Form1::txtStartDate, ctl::txtStartDate, Kind::Edit, texts::kSampleStartDate, 1560, 1995, 1800,
     270},
    {&Form1::txtEndDate, ctl::txtEndDate, Kind::Edit, texts::kSampleEndDate, 3720, 1995, 1800, 270},
    {&Form1::txtUser, ctl::txtUser, Kind::Edit, L"", 1560, 3000, 2280, 270},
    {&Form1::txtPasswd, ctl::txtPasswd, Kind::Password, L"", 1560, 3435, 2280, 270},
    {&Form1::chkIgnoreBuildUser, ctl::chkIgnoreBuildUser, Kind::Check, texts::kChkIgnoreBuildUser,
     240, 3960, 5415, 255},
    {&Form1::cmdPatch, ctl::cmdPatch, Kind::Push, texts::kPatch, 4080, 3360, 2415, 375},
    {&Form1::ListShared, ctl::ListShared, Kind::List, L"", 240, 4560, 10575, 1860},
    {&Form1::listUnshare, ctl::listUnshare, Kind::List, L"", 240, 6960, 10575, 1860},
    {&Form1::txtTargetUser, ctl::txtTargetUser, Kind::Edit, L"", 1560, 2505, 2295, 270},
    {&Form1::iniPath, ctl::iniPath, Kind::Push, texts::kChoose, 5640, 195, 855, 270},
    {&Form1::patchDir, ctl::patchDir, Kind::Push, texts::kChoose, 5640, 1560, 735, 270},
    {&Form1::txtPatch, ctl::txtPatch, Kind::Edit, texts::kSamplePatch, 1560, 1200, 3975, 270},
    {&Form1::opShare, ctl::opShare, Kind::Radio, texts::kOpShare, 480, 1200, 975, 180,
     WS_GROUP | WS_TABSTOP},
    {&Form1::opLocal, ctl::opLocal, Kind::Radio, texts::kOpLocal, 480, 1440, 975, 180},
    {&Form1::View, ctl::View, Kind::Radio, texts::kView, 480, 1680, 975, 180},
    {&Form1::Label1, ctl::Label1, Kind::Label, texts::kLabel1, 240, 240, 1170, 180, WS_GROUP},
    {&Form1::Label8, ctl::Label8, Kind::RedLabel, texts::kLabel8, 6615, 240, 3600, 180},
    {&Form1::Label2, ctl::Label2, Kind::Label, texts::kLabel2, 240, 675, 990, 180},
    {&Form1::Label9, ctl::Label9, Kind::RedLabel, texts::kLabel9, 6615, 675, 2340, 180},
    {&Form1::Label10, ctl::Label10, Kind::RedLabel, texts::kLabel10, 6600, 1200, 3150, 180},
    {&Form1::Label17, ctl::Label17, Kind::RedLabel, texts::kLabel17, 6600, 1560, 3240, 180},
    {&Form1::Label4, ctl::Label4, Kind::Label, texts::kLabel4, 240, 2040, 720, 180},
    {&Form1::Label7, ctl::Label7, Kind::Label, texts::kLabel7, 3480, 2040, 180, 180},
    {&Form1::Label11, ctl::Label11, Kind::RedLabel, texts::kLabel11, 6600, 2040, 1800, 180},
    {&Form1::Label16, ctl::Label16, Kind::FixedLabel, texts::kLabel16, 240, 2520, 735, 255},
    {&Form1::Label5, ctl::Label5, Kind::Label, texts::kLabel5, 240, 3045, 720, 180},
    {&Form1::Label6, ctl::Label6, Kind::Label, texts::kLabel6, 240, 3480, 720, 180},
    {&Form1::Label13, ctl::Label13, Kind::HelpLabel, texts::kLabel13, 240, 360, 3600, 180},
    {&Form1::Label14, ctl::Label14, Kind::HelpLabel, texts::kLabel14, 240, 720, 3600, 180},
    {&Form1::Label12, ctl::Label12, Kind::HelpLabel, texts::kLabel12, 240, 1080, 3420, 180},
    {&Form1::Label15, ctl::Label15, Kind::HelpLabel, texts::kLabel15, 240, 1440, 3960, 180},
    {&Form1::Frame4, ctl::Frame4, Kind::Frame, texts::kFrame4, 240, 960, 6255, 975},
    {&Form1::Frame3, ctl::Frame3, Kind::Frame, texts::kFrame3, 6600, 2400, 4335, 1815},
    {&Form1::Frame1, ctl::Frame1, Kind::Frame, texts::kFrame1, 120, 4320, 10815, 2250},
    {&Form1::Frame2, ctl::Frame2, Kind::Frame, texts::kFrame2, 120, 6720, 10815, 2250},
};

Form1::Form1(vss::Library& library, engine::PlatformPort& platform)
    : patcher_(*this, platform, library) {}

Form1::~Form1() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool Form1::create(int showCommand) {
  dpi_ = systemDpi();
  RECT rc = windowRectForClient(px(kClientWidthTwips), px(kClientHeightTwips), dpi_);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // The program's icon (resource 1) when the executable carries one.
  HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
  if (!createWindow(texts::kWindowCaption, kWindowStyle, kWindowExStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, rc.right - rc.left, rc.bottom - rc.top, nullptr, createMenuBar(),
                    icon))
    return false;
  UINT actual = windowDpi(hwnd_);
  if (actual != dpi_) OnDpiChanged(actual, nullptr);
  fitClientArea();
  Form_Load();
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  return true;
}

void Form1::dispatch(MSG& msg) {
  if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int runMessageLoop(Form1& form) {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) form.dispatch(msg);
  return static_cast<int>(msg.wParam);
}

LRESULT Form1::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam));
      return 0;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_CLOSE:
      return OnClose();
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case kWmDpiChanged:
      OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

// Builds the controls once the window exists.
void Form1::OnCreate() { createControls(); }

// Control notifications and menu commands. IDOK and IDCANCEL from the dialog keys find no
// handler: the window has no default button.
void Form1::OnCommand(int id, int code) {
  if (code != BN_CLICKED && code != 0) return;  // 0: menu items
  static constexpr struct {
    int id;
    void (Form1::*handler)();
  } kCommands[] = {
      {ctl::cmdPatch, &Form1::cmdPatch_Click},
      {ctl::iniPath, &Form1::iniPath_Click},
      {ctl::patchDir, &Form1::patchDir_Click},
      {ctl::opShare, &Form1::opShare_Click},
      {ctl::opLocal, &Form1::opLocal_Click},
      {ctl::View, &Form1::View_Click},
      {ctl::menuSharedToClip, &Form1::menuSharedToClip_Click},
      {ctl::menuUnshareToClip, &Form1::menuUnshareToClip_Click},
      {ctl::menuAbout, &Form1::menuAbout_Click},
  };
  for (const auto& command : kCommands) {
    if (command.id == id) return (this->*command.handler)();
  }
}

// The sample and help labels are red on the window's own background.
LRESULT Form1::OnCtlColorStatic(HDC dc, HWND control) {
  int id = GetDlgCtrlID(control);
  for (const auto& def : kControls) {
    if (def.id == id && isRed(def.kind)) {
      SetTextColor(dc, kRed);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
  }
  return DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                        reinterpret_cast<LPARAM>(control));
}

// Like a dialog, the window keeps the focused control while another window (a message box,
// a picker) is active and gives the focus back afterwards.
void Form1::OnActivate(UINT state) {
  if (state == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
    return;
  }
  HWND target =
      lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_) ? lastFocus_ : nullptr;
  if (!target) target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target) SetFocus(target);
}

// The status bar follows the window's width along the bottom edge.
void Form1::OnSize() {
  if (statusBar) SendMessageW(statusBar, WM_SIZE, 0, 0);
}

// Sizes the window so that its client area is exactly the layout's, whatever the frame and the
// menu bar take at this DPI (the platform's estimate can be off by a few pixels).
void Form1::fitClientArea() {
  const int width = px(kClientWidthTwips), height = px(kClientHeightTwips);
  for (int attempt = 0; attempt < 3; ++attempt) {
    RECT client, window;
    GetClientRect(hwnd_, &client);
    if (client.right == width && client.bottom == height) return;
    GetWindowRect(hwnd_, &window);
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + width - client.right,
                 window.bottom - window.top + height - client.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
}

// The repaint tick of a run: the lists and the status bar catch up.
void Form1::OnTimer(UINT_PTR id) {
  if (id == kRepaintTimer) showOutput();
}

// The window is the program: when it goes, the message loop ends.
void Form1::OnDestroy() {
  KillTimer(hwnd_, kRepaintTimer);
  repaintTick_ = false;
  PostQuitMessage(0);
}

// Any close request goes through Form_QueryUnload.
LRESULT Form1::OnClose() {
  if (Form_QueryUnload()) DestroyWindow(hwnd_);
  return 0;
}

// A log-off or shutdown is a close request like any other.
LRESULT Form1::OnQueryEndSession() { return Form_QueryUnload() ? TRUE : FALSE; }

// The window moved to a monitor of another DPI: everything scales with it.
void Form1::OnDpiChanged(UINT dpi, const RECT* suggested) {
  dpi_ = dpi ? dpi : 96;
  layout();
  RECT rc = windowRectForClient(px(kClientWidthTwips), px(kClientHeightTwips), dpi_);
  if (suggested)
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, rc.right - rc.left,
                 rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
  else
    SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  fitClientArea();
}

void Form1::createControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const auto& def : kControls) {
    const KindStyle look = styleOf(def.kind);
    HWND h = CreateWindowExW(look.exStyle, look.className, def.text, look.style | def.extraStyle, 0,
                             0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)),
                             instance, nullptr);
    this->*def.member = h;
  }
  statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", kChild, 0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(ctl::statusBar)),
                              instance, nullptr);
  SendMessageW(statusBar, SB_SIMPLE, TRUE, 0);
  SendMessageW(opShare, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(txtPasswd, EM_SETPASSWORDCHAR, L'*', 0);
  // Text boxes take text of any length (an edit control stops at 32,767 characters otherwise).
  for (const auto& def : kControls) {
    if (def.kind == Kind::Edit || def.kind == Kind::Password)
      SendMessageW(this->*def.member, EM_SETLIMITTEXT, 0, 0);
  }
  layout();
}

// Places every control at the current DPI and gives it the window's font.
void Form1::layout() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  LOGFONTW lf = metrics.lfMessageFont;
  lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi_), static_cast<int>(systemDpi()));
  UniqueFont font(CreateFontIndirectW(&lf));
  if (!font) font.reset(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));

  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, font.get());
  int frameLeft = 0, frameTop = 0;
  for (const auto& def : kControls)
    if (def.id == ctl::Frame3) frameLeft = def.left, frameTop = def.top;
  for (const auto& def : kControls) {
    HWND h = this->*def.member;
    int left = inFrame3(def.kind) ? frameLeft + def.left : def.left;
    int top = inFrame3(def.kind) ? frameTop + def.top : def.top;
    int width = px(def.width), height = px(def.height);
    if (fitsCaption(def.kind)) {
      SIZE extent = {};
      GetTextExtentPoint32W(dc, def.text, lstrlenW(def.text), &extent);
      width = extent.cx;
      if (extent.cy > height) height = extent.cy;
    }
    SetWindowPos(h, nullptr, px(left), px(top), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  SendMessageW(statusBar, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  SendMessageW(statusBar, WM_SIZE, 0, 0);  // docks itself along the bottom edge
  // Lines are measured in the lists' font, on a DC of our own.
  measureDc_.reset(CreateCompatibleDC(nullptr));
  SelectObject(measureDc_.get(), font.get());
  // The stock font needs no deleting; a created one lives as long as the controls use it.
  if (font.get() == GetStockObject(DEFAULT_GUI_FONT)) {
    font.release();
    font_.reset();
  } else {
    font_ = std::move(font);
  }
  remeasureLists();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

HWND Form1::listOf(engine::ResultList list) const {
  return list == engine::ResultList::Processed ? ListShared : listUnshare;
}

std::wstring Form1::windowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

}  // namespace ui
