// Form1: creation and layout of the main window, its own commands, and the WindowPort that
// lets a run read the inputs and fill the lists and the status bar.
#include "ui/form1.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "engine/texts.h"
#include "settings/settings.h"

namespace ui {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kEdit = kChild | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
constexpr DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON;
constexpr DWORD kLabel = kChild | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kFrame = kChild | BS_GROUPBOX;
constexpr DWORD kList = kChild | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                        LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
constexpr int kClientWidthTwips = 11115;
constexpr int kClientHeightTwips = 9435;

constexpr COLORREF kRed = RGB(255, 0, 0);

// While a run streams lines and paths in, the lists and the status bar repaint at most this often.
constexpr UINT_PTR kRepaintTimer = 1;
constexpr UINT kRepaintIntervalMs = 50;
// How far in from its left edge a list box draws its lines.
constexpr int kListTextMarginTwips = 60;

// How often and how long to wait for a clipboard that another program has open.
constexpr int kClipboardTries = 10;
constexpr DWORD kClipboardPauseMs = 50;

constexpr const wchar_t* kNotice = L"提示";
constexpr const wchar_t* kAboutTitle = L"关于";
constexpr const wchar_t* kAboutVerse = L"千行改动散如星，一键收拢汇成河。\r\n";
constexpr const wchar_t* kAboutAgain = L"您确定知道我在说什么？";
constexpr const wchar_t* kQuitWhileRunning = L"操作正在进行中，真的要退出？";
constexpr const wchar_t* kCopied = L"文件列表已复制至剪贴板中";
constexpr const wchar_t* kCopyFailed = L"剪贴板正被其他程序占用，文件列表未能复制，请稍后再试。";
constexpr const wchar_t* kChooseFolder = L"请选择一个目录.";

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

HMENU createMenuBar() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, ctl::menuSharedToClip, L"复制已处理文件列表");
  AppendMenuW(file, MF_STRING, ctl::menuUnshareToClip, L"复制未处理文件列表");
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, ctl::menuAbout, L"关于Ostrabel");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件(&F)");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"帮助(&H)");
  return bar;
}

}  // namespace

// One row of the layout table: positions in twips from the client area's corner (or, for the
// labels of Frame3, from the frame's corner).
struct Form1::ControlDef {
  HWND Form1::*member;
  int id;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;
  bool red;
  bool fit;  // the label takes the width of its caption
  bool inFrame3;
};

// Creation order is z-order: the tab-stop controls in tab order, then the labels (the first of
// them closes the option group), then the frames behind everything, then the status bar.
const Form1::ControlDef Form1::kControls[] = {
    {&Form1::txtHost, ctl::txtHost, L"EDIT", L"\\\\vss-server\\vss\\srcsafe.ini", kEdit,
     WS_EX_CLIENTEDGE, 1560, 195, 3960, 270, false, false, false},
    {&Form1::txtProject, ctl::txtProject, L"EDIT", L"$/Product/Main", kEdit, WS_EX_CLIENTEDGE, 1560,
     630, 3960, 270, false, false, false},
    {&Form1::txtShare, ctl::txtShare, L"EDIT", L"D:\\Patches\\Product", kEdit, WS_EX_CLIENTEDGE,
     1560, 1545, 3975, 270, false, false, false},
    {&Form1::txtStartDate, ctl::txtStartDate, L"EDIT", L"2008-07-07 17:12", kEdit, WS_EX_CLIENTEDGE,
     1560, 1995, 1800, 270, false, false, false},
    {&Form1::txtEndDate, ctl::txtEndDate, L"EDIT", L"2009-04-28 13:30", kEdit, WS_EX_CLIENTEDGE,
     3720, 1995, 1800, 270, false, false, false},
    {&Form1::txtUser, ctl::txtUser, L"EDIT", L"", kEdit, WS_EX_CLIENTEDGE, 1560, 3000, 2280, 270,
     false, false, false},
    {&Form1::txtPasswd, ctl::txtPasswd, L"EDIT", L"", kEdit | ES_PASSWORD, WS_EX_CLIENTEDGE, 1560,
     3435, 2280, 270, false, false, false},
    {&Form1::chkIgnoreBuildUser, ctl::chkIgnoreBuildUser, L"BUTTON",
     L"查询某时间范围内修改的文件时忽略VSS构建用户打Label的时间",
     kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 240, 3960, 5415, 255, false, false, false},
    {&Form1::cmdPatch, ctl::cmdPatch, L"BUTTON", L"Patch", kPush, 0, 4080, 3360, 2415, 375, false,
     false, false},
    {&Form1::ListShared, ctl::ListShared, L"LISTBOX", L"", kList, WS_EX_CLIENTEDGE, 240, 4560,
     10575, 1860, false, false, false},
    {&Form1::listUnshare, ctl::listUnshare, L"LISTBOX", L"", kList, WS_EX_CLIENTEDGE, 240, 6960,
     10575, 1860, false, false, false},
    {&Form1::txtTargetUser, ctl::txtTargetUser, L"EDIT", L"", kEdit, WS_EX_CLIENTEDGE, 1560, 2505,
     2295, 270, false, false, false},
    {&Form1::iniPath, ctl::iniPath, L"BUTTON", L"选择", kPush, 0, 5640, 195, 855, 270, false, false,
     false},
    {&Form1::patchDir, ctl::patchDir, L"BUTTON", L"选择", kPush, 0, 5640, 1560, 735, 270, false,
     false, false},
    {&Form1::txtPatch, ctl::txtPatch, L"EDIT", L"$/Product/Patch1.0", kEdit, WS_EX_CLIENTEDGE, 1560,
     1200, 3975, 270, false, false, false},
    {&Form1::opShare, ctl::opShare, L"BUTTON", L"VSS", kRadio | WS_GROUP | WS_TABSTOP, 0, 480, 1200,
     975, 180, false, false, false},
    {&Form1::opLocal, ctl::opLocal, L"BUTTON", L"Local", kRadio, 0, 480, 1440, 975, 180, false,
     false, false},
    {&Form1::View, ctl::View, L"BUTTON", L"View", kRadio, 0, 480, 1680, 975, 180, false, false,
     false},
    {&Form1::Label1, ctl::Label1, L"STATIC", L"VSS服务器地址", kLabel | WS_GROUP, 0, 240, 240, 1170,
     180, false, true, false},
    {&Form1::Label8, ctl::Label8, L"STATIC", L"如: \\\\fileserver\\vss\\srcsafe.ini", kLabel, 0,
     6615, 240, 3600, 180, true, true, false},
    {&Form1::Label2, ctl::Label2, L"STATIC", L"VSS项目路径", kLabel, 0, 240, 675, 990, 180, false,
     true, false},
    {&Form1::Label9, ctl::Label9, L"STATIC", L"如: $/path/to/your/project", kLabel, 0, 6615, 675,
     2340, 180, true, true, false},
    {&Form1::Label10, ctl::Label10, L"STATIC", L"如: $/path/to/your/patch1.0/project", kLabel, 0,
     6600, 1200, 3150, 180, true, true, false},
    {&Form1::Label17, ctl::Label17, L"STATIC", L"如: D:\\VSS\\path\\to\\your\\localProject", kLabel,
     0, 6600, 1560, 3240, 180, true, true, false},
    {&Form1::Label4, ctl::Label4, L"STATIC", L"时间范围", kLabel, 0, 240, 2040, 720, 180, false,
     true, false},
    {&Form1::Label7, ctl::Label7, L"STATIC", L"至", kLabel, 0, 3480, 2040, 180, 180, false, true,
     false},
    {&Form1::Label11, ctl::Label11, L"STATIC", L"如: 2008-08-18 12:01", kLabel, 0, 6600, 2040, 1800,
     180, true, true, false},
    {&Form1::Label16, ctl::Label16, L"STATIC", L"操作用户", kLabel, 0, 240, 2520, 735, 255, false,
     false, false},
    {&Form1::Label5, ctl::Label5, L"STATIC", L"用 户 名", kLabel, 0, 240, 3045, 720, 180, false,
     true, false},
    {&Form1::Label6, ctl::Label6, L"STATIC", L"密    码", kLabel, 0, 240, 3480, 720, 180, false,
     true, false},
    {&Form1::Label13, ctl::Label13, L"STATIC", L"* VSS补丁路径为空则只查询不执行Share操作", kLabel,
     0, 240, 360, 3600, 180, true, true, true},
    {&Form1::Label14, ctl::Label14, L"STATIC", L"* 时间范围中结束时间为空则默认为当前时间", kLabel,
     0, 240, 720, 3600, 180, true, true, true},
    {&Form1::Label12, ctl::Label12, L"STATIC", L"* 未处理文件列表中文件目前需要手工处理", kLabel, 0,
     240, 1080, 3420, 180, true, true, true},
    {&Form1::Label15, ctl::Label15, L"STATIC", L"* 操作用户不为空则只读取这个用户操作过的文件",
     kLabel, 0, 240, 1440, 3960, 180, true, true, true},
    {&Form1::Frame4, ctl::Frame4, L"BUTTON", L"补丁路径", kFrame, 0, 240, 960, 6255, 975, false,
     false, false},
    {&Form1::Frame3, ctl::Frame3, L"BUTTON", L"帮助", kFrame, 0, 6600, 2400, 4335, 1815, false,
     false, false},
    {&Form1::Frame1, ctl::Frame1, L"BUTTON", L"已处理文件", kFrame, 0, 120, 4320, 10815, 2250,
     false, false, false},
    {&Form1::Frame2, ctl::Frame2, L"BUTTON", L"未处理文件", kFrame, 0, 120, 6720, 10815, 2250,
     false, false, false},
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
  if (!createWindow(kCaption, kWindowStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    rc.right - rc.left, rc.bottom - rc.top, nullptr, createMenuBar(), icon))
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
    case 0x02E0:  // WM_DPICHANGED
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

// Control notifications and menu commands.
void Form1::OnCommand(int id, int code) {
  if (code != BN_CLICKED && code != 0) return;  // 0: menu items
  switch (id) {
    case ctl::cmdPatch:
      cmdPatch_Click();
      break;
    case ctl::iniPath:
      iniPath_Click();
      break;
    case ctl::patchDir:
      patchDir_Click();
      break;
    case ctl::opShare:
      opShare_Click();
      break;
    case ctl::opLocal:
      opLocal_Click();
      break;
    case ctl::View:
      View_Click();
      break;
    case ctl::menuSharedToClip:
      menuSharedToClip_Click();
      break;
    case ctl::menuUnshareToClip:
      menuUnshareToClip_Click();
      break;
    case ctl::menuAbout:
      menuAbout_Click();
      break;
    default:
      break;  // IDOK/IDCANCEL from the dialog keys: the window has no default button
  }
}

// The sample and help labels are red on the window's own background.
LRESULT Form1::OnCtlColorStatic(HDC dc, HWND control) {
  int id = GetDlgCtrlID(control);
  for (const auto& def : kControls) {
    if (def.id == id && def.red) {
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
    HWND h =
        CreateWindowExW(def.exStyle, def.className, def.text, def.style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)), instance, nullptr);
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
    if (lstrcmpW(def.className, L"EDIT") == 0)
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
    int left = def.inFrame3 ? frameLeft + def.left : def.left;
    int top = def.inFrame3 ? frameTop + def.top : def.top;
    int width = px(def.width), height = px(def.height);
    if (def.fit) {
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
  using engine::TextBox;
  switch (box) {
    case TextBox::Host:
      return windowText(txtHost);
    case TextBox::Project:
      return windowText(txtProject);
    case TextBox::Patch:
      return windowText(txtPatch);
    case TextBox::User:
      return windowText(txtUser);
    case TextBox::Passwd:
      return windowText(txtPasswd);
    case TextBox::StartDate:
      return windowText(txtStartDate);
    case TextBox::EndDate:
      return windowText(txtEndDate);
    case TextBox::TargetUser:
      return windowText(txtTargetUser);
    case TextBox::LocalDir:
      return windowText(txtShare);
  }
  return {};
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

// ---- the window's commands ----

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
  if (showMessage(kQuitWhileRunning, kNotice, engine::Icon::None, engine::Buttons::YesNo) ==
      engine::Answer::Yes)
    ExitProcess(0);
  return false;
}

// Picks the database's srcsafe.ini with the file-open dialog.
void Form1::iniPath_Click() {
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = L"INI Files (*.ini)\0*.ini\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.Flags = OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return;  // cancelled or failed: nothing changes
  SetWindowTextW(txtHost, file.data());
}

// Picks the local folder with the shell's folder picker.
void Form1::patchDir_Click() {
  std::wstring folder = ini_.BrowseForFolder(hwnd_, kChooseFolder);
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
  if (showMessage(kAboutVerse, kAboutTitle, engine::Icon::Information, engine::Buttons::YesNo) !=
      Answer::Yes)
    return;
  while (showMessage(kAboutAgain, kAboutTitle, engine::Icon::Information, engine::Buttons::YesNo) ==
         Answer::Yes) {
  }
}

// The run happens inside this call. A failure nobody expected must not take the window with
// it: the user is told, and the window goes back to idle.
void Form1::cmdPatch_Click() {
  std::wstring failure;
  try {
    patcher_.cmdPatch_Click();
    return;
  } catch (const vss::Error& e) {
    failure = e.description();
  } catch (const std::exception& e) {
    failure = engine::texts::kUnexpectedFailure;
    for (const char* p = e.what(); *p; ++p) failure += static_cast<wchar_t>(*p);
  }
  engine::RunState& state = patcher_.state();
  if (state.running) {
    state.running = false;
    setPatchButton(engine::texts::kPatched, true);
    setStatusText(engine::texts::kRunStopped);
  }
  showMessage(failure, engine::texts::kAppTitle, engine::Icon::None, engine::Buttons::Ok);
}

void Form1::menuSharedToClip_Click() { copyListCommand(ListShared); }
void Form1::menuUnshareToClip_Click() { copyListCommand(listUnshare); }

void Form1::copyListCommand(HWND oList) {
  if (listToClip(oList))
    showMessage(kCopied, kNotice, engine::Icon::Information, engine::Buttons::Ok);
  else
    showMessage(kCopyFailed, kNotice, engine::Icon::Exclamation, engine::Buttons::Ok);
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
