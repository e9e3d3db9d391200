// Form1 as a real window under the real platform: layout, styles, colours, keyboard, menus,
// the window's commands with their message boxes and pickers, the result lists and the
// clipboard, and the close request during a run.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "box_catcher.h"
#include "ui/form1.h"
#include "ui/win_platform.h"

namespace ctl = ui::ctl;
using uitest::BoxCatcher;
using uitest::windowText;

namespace {

// ---- a source-control library whose project holds a few files, each changed in 2008 ----

class FakeVersion : public vss::Version {
 public:
  std::wstring username() override { return L"alice"; }
  double date() override { return 39700.5; }  // 2008-09-08
};

class FakeCursor : public vss::VersionCursor {
 public:
  std::unique_ptr<vss::Version> next() override {
    if (done_) return nullptr;
    done_ = true;
    return std::make_unique<FakeVersion>();
  }

 private:
  bool done_ = false;
};

// Called whenever the walk reads a file's path; lets a test act in the middle of a run.
std::function<void(const std::wstring&)> g_onSpec;

class FakeItem : public vss::Item {
 public:
  FakeItem(std::wstring spec, bool project, int files) : spec_(std::move(spec)), project_(project), files_(files) {}
  int type() override { return project_ ? vss::kTypeProject : vss::kTypeFile; }
  std::wstring name() override { return spec_.substr(spec_.find_last_of(L'/') + 1); }
  std::wstring spec() override {
    if (!project_ && g_onSpec) g_onSpec(spec_);
    return spec_;
  }
  std::unique_ptr<vss::Item> parent() override { return std::make_unique<FakeItem>(L"$/p", true, 0); }
  std::vector<std::unique_ptr<vss::Item>> items(bool) override {
    std::vector<std::unique_ptr<vss::Item>> children;
    for (int i = 0; i < files_; ++i)
      children.push_back(std::make_unique<FakeItem>(spec_ + L"/f" + std::to_wstring(i) + L".txt", false, 0));
    return children;
  }
  std::unique_ptr<vss::VersionCursor> versions(int) override { return std::make_unique<FakeCursor>(); }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& n, const std::wstring&) override {
    return std::make_unique<FakeItem>(spec_ + L"/" + n, true, 0);
  }
  void share(vss::Item&, const std::wstring&, int) override {}
  void get(std::wstring&, int) override {}

 private:
  std::wstring spec_;
  bool project_;
  int files_;
};

class FakeDatabase : public vss::Database {
 public:
  void open(const std::wstring&, const std::wstring&, const std::wstring&) override {}
  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool) override {
    return std::make_unique<FakeItem>(spec, true, 5);
  }
};

class FakeLibrary : public vss::Library {
 public:
  std::unique_ptr<vss::Database> newDatabase() override { return std::make_unique<FakeDatabase>(); }
};

// ---- helpers ----

std::wstring exeDir() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path);
  return p.substr(0, p.find_last_of(L'\\'));
}
std::wstring iniBesideExe() { return exeDir() + L"\\Ostrabel.ini"; }

void removeIni() {
  SetFileAttributesW(iniBesideExe().c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(iniBesideExe().c_str());
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

RECT rectInClient(HWND form, HWND control) {
  RECT rc;
  GetWindowRect(control, &rc);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

bool enabled(HWND h) { return IsWindowEnabled(h) != FALSE; }
bool checked(HWND h) { return SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED; }
LONG style(HWND h) { return GetWindowLongW(h, GWL_STYLE); }
void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    removeIni();
    createForm();
  }
  void TearDown() override {
    form_.reset();
    removeIni();
    g_onSpec = nullptr;
  }
  void createForm() {
    form_ = std::make_unique<ui::Form1>(library_, platform_);
    ASSERT_TRUE(form_->create(SW_SHOWNORMAL));
    pump();
  }
  HWND c(int id) { return form_->control(id); }
  HWND hwnd() { return form_->hwnd(); }
  void command(int id) { SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  FakeLibrary library_;
  ui::WinPlatform platform_;
  std::unique_ptr<ui::Form1> form_;
};

// ---- layout ----

struct Expected {
  int id;
  const wchar_t* cls;
  const wchar_t* text;  // nullptr: persisted box, filled from the settings file
  int left, top, width, height;  // client pixels at 96 dpi
  bool fit;
};

const Expected kLayout[] = {
    {ctl::Label1, L"Static", L"VSS服务器地址", 16, 16, 78, 12, true},
    {ctl::txtHost, L"Edit", nullptr, 104, 13, 264, 18, false},
    {ctl::iniPath, L"Button", L"选择", 376, 13, 57, 18, false},
    {ctl::Label8, L"Static", nullptr, 441, 16, 240, 12, true},
    {ctl::Label2, L"Static", L"VSS项目路径", 16, 45, 66, 12, true},
    {ctl::txtProject, L"Edit", nullptr, 104, 42, 264, 18, false},
    {ctl::Label9, L"Static", L"如: $/path/to/your/project", 441, 45, 156, 12, true},
    {ctl::Frame4, L"Button", L"补丁路径", 16, 64, 417, 65, false},
    {ctl::opShare, L"Button", L"VSS", 32, 80, 65, 12, false},
    {ctl::txtPatch, L"Edit", nullptr, 104, 80, 265, 18, false},
    {ctl::Label10, L"Static", L"如: $/path/to/your/patch1.0/project", 440, 80, 210, 12, true},
    {ctl::opLocal, L"Button", L"Local", 32, 96, 65, 12, false},
    {ctl::txtShare, L"Edit", nullptr, 104, 103, 265, 18, false},
    {ctl::patchDir, L"Button", L"选择", 376, 104, 49, 18, false},
    {ctl::Label17, L"Static", L"如: D:\\VSS\\path\\to\\your\\localProject", 440, 104, 216, 12, true},
    {ctl::View, L"Button", L"View", 32, 112, 65, 12, false},
    {ctl::Label4, L"Static", L"时间范围", 16, 136, 48, 12, true},
    {ctl::txtStartDate, L"Edit", nullptr, 104, 133, 120, 18, false},
    {ctl::Label7, L"Static", L"至", 232, 136, 12, 12, true},
    {ctl::txtEndDate, L"Edit", nullptr, 248, 133, 120, 18, false},
    {ctl::Label11, L"Static", L"如: 2008-08-18 12:01", 440, 136, 120, 12, true},
    {ctl::Frame3, L"Button", L"帮助", 440, 160, 289, 121, false},
    {ctl::Label16, L"Static", L"操作用户", 16, 168, 49, 17, false},
    {ctl::txtTargetUser, L"Edit", L"", 104, 167, 153, 18, false},
    {ctl::Label5, L"Static", L"用 户 名", 16, 203, 48, 12, true},
    {ctl::txtUser, L"Edit", nullptr, 104, 200, 152, 18, false},
    {ctl::cmdPatch, L"Button", L"Patch", 272, 224, 161, 25, false},
    {ctl::Label6, L"Static", L"密    码", 16, 232, 48, 12, true},
    {ctl::txtPasswd, L"Edit", nullptr, 104, 229, 152, 18, false},
    {ctl::chkIgnoreBuildUser, L"Button", L"查询某时间范围内修改的文件时忽略VSS构建用户打Label的时间", 16, 264, 361, 17, false},
    {ctl::Frame1, L"Button", L"已处理文件", 8, 288, 721, 150, false},
    {ctl::ListShared, L"ListBox", L"", 16, 304, 705, 124, false},
    {ctl::Frame2, L"Button", L"未处理文件", 8, 448, 721, 150, false},
    {ctl::listUnshare, L"ListBox", L"", 16, 464, 705, 124, false},
    // The labels of Frame3, placed relative to the frame's corner (440, 160).
    {ctl::Label13, L"Static", L"* VSS补丁路径为空则只查询不执行Share操作", 456, 184, 240, 12, true},
    {ctl::Label14, L"Static", L"* 时间范围中结束时间为空则默认为当前时间", 456, 208, 240, 12, true},
    {ctl::Label12, L"Static", L"* 未处理文件列表中文件目前需要手工处理", 456, 232, 228, 12, true},
    {ctl::Label15, L"Static", L"* 操作用户不为空则只读取这个用户操作过的文件", 456, 256, 264, 12, true},
};

TEST_F(FormTest, Layout_EveryControlHasItsClassTextAndPlaceAt96Dpi) {
  ASSERT_EQ(form_->dpi(), 96u) << "the layout figures are for 96 dpi";
  for (const Expected& e : kLayout) {
    SCOPED_TRACE(testing::Message() << "control id " << e.id);
    HWND h = c(e.id);
    ASSERT_NE(h, nullptr);
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    EXPECT_EQ(lstrcmpiW(cls, e.cls), 0) << "class " << testing::PrintToString(std::wstring(cls));
    if (e.text) {
      EXPECT_EQ(windowText(h), e.text);
    }
    RECT rc = rectInClient(hwnd(), h);
    EXPECT_EQ(rc.left, e.left);
    EXPECT_EQ(rc.top, e.top);
    if (e.fit) {
      // A fitted label is as wide as its caption and never cut vertically.
      EXPECT_GT(rc.right - rc.left, 0);
      EXPECT_GE(rc.bottom - rc.top, e.height);
      EXPECT_LE(rc.bottom - rc.top, e.height + 8);
    } else {
      EXPECT_EQ(rc.right - rc.left, e.width);
      EXPECT_EQ(rc.bottom - rc.top, e.height);
    }
    EXPECT_TRUE(IsWindowVisible(h));
  }
  EXPECT_TRUE(windowText(c(ctl::Label8)).starts_with(L"如: \\\\"));
  EXPECT_TRUE(windowText(c(ctl::Label8)).ends_with(L"srcsafe.ini"));
}

TEST_F(FormTest, Window_CaptionClientAreaFixedSizeAndStatusBar) {
  EXPECT_EQ(windowText(hwnd()), L"Ostrabel v1.0.3");
  RECT client;
  GetClientRect(hwnd(), &client);
  EXPECT_EQ(client.right, 741);
  EXPECT_EQ(client.bottom, 629);
  LONG s = style(hwnd());
  EXPECT_EQ(s & WS_THICKFRAME, 0);
  EXPECT_EQ(s & WS_MAXIMIZEBOX, 0);
  EXPECT_NE(GetWindowLongW(hwnd(), GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);

  HWND bar = c(ctl::statusBar);
  wchar_t cls[64] = {};
  GetClassNameW(bar, cls, 64);
  EXPECT_EQ(lstrcmpiW(cls, STATUSCLASSNAMEW), 0);
  EXPECT_TRUE(SendMessageW(bar, SB_ISSIMPLE, 0, 0));
  RECT rc = rectInClient(hwnd(), bar);
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.right, 741);
  EXPECT_EQ(rc.bottom, 629);
  EXPECT_GE(rc.top, 598) << "the bar stays below the lists";
}

TEST_F(FormTest, Styles_PasswordMaskGroupsSortingAndSelection) {
  EXPECT_NE(style(c(ctl::txtPasswd)) & ES_PASSWORD, 0);
  EXPECT_EQ(SendMessageW(c(ctl::txtPasswd), EM_GETPASSWORDCHAR, 0, 0), L'*');
  for (int id : {ctl::txtHost, ctl::txtProject, ctl::txtPatch, ctl::txtShare, ctl::txtStartDate,
                 ctl::txtEndDate, ctl::txtTargetUser, ctl::txtUser, ctl::txtPasswd}) {
    SCOPED_TRACE(id);
    LONG s = style(c(id));
    EXPECT_EQ(s & (ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL), 0);
    EXPECT_NE(s & ES_AUTOHSCROLL, 0) << "text longer than the box must be typeable";
    if (id != ctl::txtPasswd) {
      EXPECT_EQ(s & ES_PASSWORD, 0);
    }
    EXPECT_NE(s & WS_TABSTOP, 0);
  }
  // Typing into the password box shows stars but reads back the typed text.
  SetWindowTextW(c(ctl::txtPasswd), L"s3cret");
  EXPECT_EQ(form_->text(engine::TextBox::Passwd), L"s3cret");

  for (int id : {ctl::ListShared, ctl::listUnshare}) {
    LONG s = style(c(id));
    EXPECT_EQ(s & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL), 0);
    EXPECT_NE(s & WS_TABSTOP, 0);
  }
  struct ButtonKind { int id; LONG type; };
  for (ButtonKind b : {ButtonKind{ctl::opShare, BS_AUTORADIOBUTTON}, {ctl::opLocal, BS_AUTORADIOBUTTON},
                       {ctl::View, BS_AUTORADIOBUTTON}, {ctl::chkIgnoreBuildUser, BS_AUTOCHECKBOX},
                       {ctl::cmdPatch, BS_PUSHBUTTON}, {ctl::iniPath, BS_PUSHBUTTON},
                       {ctl::patchDir, BS_PUSHBUTTON}, {ctl::Frame1, BS_GROUPBOX},
                       {ctl::Frame2, BS_GROUPBOX}, {ctl::Frame3, BS_GROUPBOX}, {ctl::Frame4, BS_GROUPBOX}}) {
    SCOPED_TRACE(b.id);
    EXPECT_EQ(style(c(b.id)) & BS_TYPEMASK, b.type);
  }
  // The three options are one group that starts at "VSS"; "VSS" is selected.
  EXPECT_NE(style(c(ctl::opShare)) & WS_GROUP, 0);
  EXPECT_EQ(style(c(ctl::opLocal)) & WS_GROUP, 0);
  EXPECT_EQ(style(c(ctl::View)) & WS_GROUP, 0);
  EXPECT_EQ(GetNextDlgGroupItem(hwnd(), c(ctl::View), FALSE), c(ctl::opShare));
  EXPECT_EQ(GetNextDlgGroupItem(hwnd(), c(ctl::opShare), TRUE), c(ctl::View));
  EXPECT_TRUE(checked(c(ctl::opShare)));
  EXPECT_FALSE(checked(c(ctl::opLocal)));
  EXPECT_FALSE(checked(c(ctl::View)));
  EXPECT_FALSE(checked(c(ctl::chkIgnoreBuildUser)));
}

TEST_F(FormTest, Colours_SampleAndHelpLabelsAreRedOthersDefault) {
  const int red[] = {ctl::Label8, ctl::Label9, ctl::Label10, ctl::Label17, ctl::Label11,
                     ctl::Label13, ctl::Label14, ctl::Label12, ctl::Label15};
  const int plain[] = {ctl::Label1, ctl::Label2, ctl::Label4, ctl::Label7, ctl::Label16, ctl::Label5, ctl::Label6};
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  for (int id : red) {
    SetTextColor(dc, RGB(0, 0, 0));
    LRESULT brush = SendMessageW(hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(c(id)));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0)) << id;
    EXPECT_NE(brush, 0) << id;
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE)) << id;
  }
  for (int id : plain) {
    SetTextColor(dc, RGB(0, 0, 0));
    SendMessageW(hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(c(id)));
    EXPECT_NE(GetTextColor(dc), RGB(255, 0, 0)) << id;
  }
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);

  // And on the screen: the sample label's pixels include pure red.
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  HWND label = c(ctl::Label9);
  HDC ldc = GetDC(label);
  RECT rc;
  GetClientRect(label, &rc);
  bool sawRed = false;
  for (int y = 0; y < rc.bottom && !sawRed; ++y)
    for (int x = 0; x < rc.right && !sawRed; ++x) sawRed = GetPixel(ldc, x, y) == RGB(255, 0, 0);
  ReleaseDC(label, ldc);
  EXPECT_TRUE(sawRed);
}

// ---- keyboard ----

std::vector<int> tabWalk(HWND form, HWND start, BOOL previous) {
  std::vector<int> ids;
  HWND h = start;
  for (int i = 0; i < 40; ++i) {
    h = GetNextDlgTabItem(form, h, previous);
    if (!h || h == start) break;
    ids.push_back(GetDlgCtrlID(h));
  }
  return ids;
}

TEST_F(FormTest, TabOrder_FollowsTheTableAndSkipsDisabledControls) {
  // At start txtShare and patchDir are disabled; Tab enters the options at "VSS".
  std::vector<int> forward = {ctl::txtProject, ctl::txtStartDate, ctl::txtEndDate, ctl::txtUser,
                              ctl::txtPasswd, ctl::chkIgnoreBuildUser, ctl::cmdPatch, ctl::ListShared,
                              ctl::listUnshare, ctl::txtTargetUser, ctl::iniPath, ctl::txtPatch,
                              ctl::opShare};
  EXPECT_EQ(tabWalk(hwnd(), c(ctl::txtHost), FALSE), forward);
  std::vector<int> backward(forward.rbegin(), forward.rend());
  EXPECT_EQ(tabWalk(hwnd(), c(ctl::txtHost), TRUE), backward);

  // In Local mode the folder controls take their places, and Tab enters the options at "Local".
  click(c(ctl::opLocal));
  std::vector<int> local = {ctl::txtProject, ctl::txtShare, ctl::txtStartDate, ctl::txtEndDate,
                            ctl::txtUser, ctl::txtPasswd, ctl::chkIgnoreBuildUser, ctl::cmdPatch,
                            ctl::ListShared, ctl::listUnshare, ctl::txtTargetUser, ctl::iniPath,
                            ctl::patchDir, ctl::opLocal};
  EXPECT_EQ(tabWalk(hwnd(), c(ctl::txtHost), FALSE), local);

  // A real Tab key press goes through the window's message handling.
  SetFocus(c(ctl::txtHost));
  MSG msg = {c(ctl::txtHost), WM_KEYDOWN, VK_TAB, 1, 0, {0, 0}};
  form_->dispatch(msg);
  EXPECT_EQ(GetFocus(), c(ctl::txtProject));
}

TEST_F(FormTest, ArrowKeys_MoveWithinTheOptionGroupAndSelect) {
  SetFocus(c(ctl::opShare));
  struct Step { WPARAM key; int selected; bool patch, dir, share; };
  const Step steps[] = {{VK_DOWN, ctl::opLocal, false, true, true},
                        {VK_DOWN, ctl::View, false, false, false},
                        {VK_DOWN, ctl::opShare, true, false, false},
                        {VK_UP, ctl::View, false, false, false},
                        {VK_LEFT, ctl::opLocal, false, true, true}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.selected);
    MSG msg = {GetFocus(), WM_KEYDOWN, s.key, 1, 0, {0, 0}};
    form_->dispatch(msg);
    pump();
    EXPECT_EQ(GetFocus(), c(s.selected));
    EXPECT_TRUE(checked(c(s.selected)));
    EXPECT_EQ(enabled(c(ctl::txtPatch)), s.patch);
    EXPECT_EQ(enabled(c(ctl::patchDir)), s.dir);
    EXPECT_EQ(enabled(c(ctl::txtShare)), s.share);
  }
}

// ---- menus ----

std::wstring menuString(HMENU menu, UINT item, UINT flags) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, item, text, 128, flags);
  return text;
}

HMENU g_openedPopup = nullptr;
LRESULT CALLBACK watchMenus(int code, WPARAM wParam, LPARAM lParam) {
  auto* cwp = reinterpret_cast<CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && cwp->message == WM_INITMENUPOPUP && !HIWORD(cwp->lParam)) {
    g_openedPopup = reinterpret_cast<HMENU>(cwp->wParam);
    PostMessageW(cwp->hwnd, WM_CANCELMODE, 0, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(FormTest, Menus_CaptionsItemsAndAccessKeys) {
  HMENU bar = GetMenu(hwnd());
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_EQ(menuString(bar, 0, MF_BYPOSITION), L"文件(&F)");
  EXPECT_EQ(menuString(bar, 1, MF_BYPOSITION), L"帮助(&H)");
  HMENU file = GetSubMenu(bar, 0), help = GetSubMenu(bar, 1);
  ASSERT_EQ(GetMenuItemCount(file), 2);
  ASSERT_EQ(GetMenuItemCount(help), 1);
  EXPECT_EQ(menuString(file, ctl::menuSharedToClip, MF_BYCOMMAND), L"复制已处理文件列表");
  EXPECT_EQ(menuString(file, ctl::menuUnshareToClip, MF_BYCOMMAND), L"复制未处理文件列表");
  EXPECT_EQ(menuString(help, ctl::menuAbout, MF_BYCOMMAND), L"关于Ostrabel");
  for (HMENU m : {file, help}) {
    for (int i = 0; i < GetMenuItemCount(m); ++i) {
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_STATE | MIIM_FTYPE;
      GetMenuItemInfoW(m, static_cast<UINT>(i), TRUE, &info);
      EXPECT_EQ(info.fState & (MFS_DISABLED | MFS_CHECKED), 0u);
      EXPECT_EQ(info.fType & MFT_SEPARATOR, 0u);
    }
  }
  // Alt+F and Alt+H open their menus.
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, watchMenus, nullptr, GetCurrentThreadId());
  struct Key { WPARAM key; HMENU expected; };
  for (Key k : {Key{'f', file}, Key{'h', help}}) {
    g_openedPopup = nullptr;
    SendMessageW(hwnd(), WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(k.key));
    pump();
    EXPECT_EQ(g_openedPopup, k.expected);
  }
  UnhookWindowsHookEx(hook);
}

// ---- commands and their boxes ----

TEST_F(FormTest, Patch_WithEmptyInputsShowsTheValidationBox) {
  BoxCatcher boxes;
  click(c(ctl::cmdPatch));
  ASSERT_EQ(boxes.boxes().size(), 1u);
  const auto& box = boxes.boxes()[0];
  EXPECT_EQ(box.title, L"提示");
  EXPECT_EQ(box.text, L"VSS服务器地址必需输入\r\nVSS项目路径必需输入\r\n时间范围必需输入\r\n"
                      L"用户名必需输入\r\n密码必需输入\r\n");
  EXPECT_TRUE(box.hasIcon);
  EXPECT_TRUE(box.ok);
  EXPECT_FALSE(box.yes || box.no);
  EXPECT_EQ(windowText(c(ctl::cmdPatch)), L"Patch");
  EXPECT_TRUE(enabled(c(ctl::cmdPatch)));
}

TEST_F(FormTest, Options_SetTheEnableStatesInAnyOrder) {
  struct Expect { int option; bool patch, dir, share; };
  const Expect vss = {ctl::opShare, true, false, false}, local = {ctl::opLocal, false, true, true},
               view = {ctl::View, false, false, false};
  const Expect sequence[] = {view, vss, local, view, local, vss, vss, local, local, view, view, vss};
  // Before any choice: the start-up state of "VSS".
  EXPECT_TRUE(enabled(c(ctl::txtPatch)));
  EXPECT_FALSE(enabled(c(ctl::patchDir)));
  EXPECT_FALSE(enabled(c(ctl::txtShare)));
  for (const Expect& e : sequence) {
    SCOPED_TRACE(e.option);
    click(c(e.option));
    EXPECT_TRUE(checked(c(e.option)));
    EXPECT_EQ(enabled(c(ctl::txtPatch)), e.patch);
    EXPECT_EQ(enabled(c(ctl::patchDir)), e.dir);
    EXPECT_EQ(enabled(c(ctl::txtShare)), e.share);
  }
}

TEST_F(FormTest, StartUp_WithoutSettingsFileEverythingEmptyAndVss) {
  for (int id : {ctl::txtHost, ctl::txtProject, ctl::txtPatch, ctl::txtStartDate, ctl::txtEndDate,
                 ctl::txtUser, ctl::txtPasswd, ctl::txtShare, ctl::txtTargetUser})
    EXPECT_EQ(windowText(c(id)), L"") << id;
  EXPECT_FALSE(checked(c(ctl::chkIgnoreBuildUser)));
  EXPECT_TRUE(checked(c(ctl::opShare)));
  EXPECT_EQ(form_->patcher().state().iniFilePath, iniBesideExe());
  EXPECT_EQ(SendMessageW(c(ctl::ListShared), LB_GETCOUNT, 0, 0), 0);
}

void writeIniLine(const wchar_t* key, const std::wstring& value) {
  auto ansi = [](const std::wstring& w) {
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return s;
  };
  WritePrivateProfileStringA("cfg", ansi(key).c_str(), ansi(value).c_str(), ansi(iniBesideExe()).c_str());
}

TEST_F(FormTest, StartUp_WithSettingsFileFillsTheInputsButNotTheMode) {
  form_.reset();
  writeIniLine(L"host", L"\\\\srv\\库\\srcsafe.ini");
  writeIniLine(L"project", L"$/产品/主线");
  writeIniLine(L"patch", L"$/补丁");
  writeIniLine(L"startDate", L"2008-07-07 17:12");
  writeIniLine(L"endDate", L"");
  writeIniLine(L"user", L"张三");
  writeIniLine(L"passwd", L"pw");
  writeIniLine(L"ignoreBuildUser", L"1");
  writeIniLine(L"localDir", L"C:\\补丁");
  SetFileAttributesW(iniBesideExe().c_str(), FILE_ATTRIBUTE_READONLY);
  createForm();
  EXPECT_EQ(windowText(c(ctl::txtHost)), L"\\\\srv\\库\\srcsafe.ini");
  EXPECT_EQ(windowText(c(ctl::txtProject)), L"$/产品/主线");
  EXPECT_EQ(windowText(c(ctl::txtPatch)), L"$/补丁");
  EXPECT_EQ(windowText(c(ctl::txtStartDate)), L"2008-07-07 17:12");
  EXPECT_EQ(windowText(c(ctl::txtEndDate)), L"");
  EXPECT_EQ(windowText(c(ctl::txtUser)), L"张三");
  EXPECT_EQ(windowText(c(ctl::txtPasswd)), L"pw");
  EXPECT_EQ(windowText(c(ctl::txtShare)), L"C:\\补丁");
  EXPECT_EQ(windowText(c(ctl::txtTargetUser)), L"");
  EXPECT_TRUE(checked(c(ctl::chkIgnoreBuildUser)));
  EXPECT_TRUE(checked(c(ctl::opShare)));
  EXPECT_TRUE(enabled(c(ctl::txtPatch)));
  EXPECT_FALSE(enabled(c(ctl::txtShare)));
  EXPECT_FALSE(enabled(c(ctl::patchDir)));
  EXPECT_EQ(GetFileAttributesW(iniBesideExe().c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
      << "the settings file is made writable at start";
}

TEST_F(FormTest, About_RepeatsTheQuestionWhileYes) {
  {
    BoxCatcher boxes;
    boxes.answer({IDYES, IDYES, IDNO});
    command(ctl::menuAbout);
    ASSERT_EQ(boxes.boxes().size(), 3u);
    const auto& first = boxes.boxes()[0];
    EXPECT_TRUE(first.text.size() > 2 && first.text.ends_with(L"\r\n"));
    EXPECT_EQ(first.text.find(L"\r\n"), first.text.size() - 2) << "one line of verse";
    for (const auto& box : boxes.boxes()) {
      EXPECT_EQ(box.title, L"关于");
      EXPECT_TRUE(box.hasIcon);
      EXPECT_TRUE(box.yes && box.no);
      EXPECT_FALSE(box.ok);
      EXPECT_EQ(box.defaultId, IDYES);
    }
    EXPECT_EQ(boxes.boxes()[1].text, L"您确定知道我在说什么？");
    EXPECT_EQ(boxes.boxes()[2].text, L"您确定知道我在说什么？");
  }
  BoxCatcher boxes;
  boxes.answer({IDNO});
  command(ctl::menuAbout);
  EXPECT_EQ(boxes.boxes().size(), 1u);
}

TEST_F(FormTest, Close_WhileIdleClosesWithoutQuestion) {
  BoxCatcher boxes;
  SendMessageW(hwnd(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(form_->hwnd(), nullptr);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closing ends the program";
}

TEST_F(FormTest, Close_DuringRunAnsweredNoKeepsTheWindow) {
  form_->patcher().state().running = true;
  BoxCatcher boxes;
  boxes.answer({IDNO, IDNO});
  SendMessageW(hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(SendMessageW(hwnd(), WM_QUERYENDSESSION, 0, 0), FALSE) << "log-off asks too";
  ASSERT_EQ(boxes.boxes().size(), 2u);
  const auto& box = boxes.boxes()[0];
  EXPECT_EQ(box.text, L"操作正在进行中，真的要退出？");
  EXPECT_EQ(box.title, L"提示");
  EXPECT_FALSE(box.hasIcon);
  EXPECT_TRUE(box.yes && box.no);
  EXPECT_EQ(box.defaultId, IDYES);
  EXPECT_TRUE(IsWindow(hwnd()));
  form_->patcher().state().running = false;
}

// Helper for the next test, run in a child process: a View run whose second file brings a
// close request; the close question is answered Yes.
TEST(CloseHelper, AnswerYesDuringRun) {
  wchar_t marker[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"OSTRABEL_CLOSE_MARKER", marker, MAX_PATH)) GTEST_SKIP();
  removeIni();
  FakeLibrary library;
  ui::WinPlatform platform;
  ui::Form1 form(library, platform);
  ASSERT_TRUE(form.create(SW_SHOWNORMAL));
  SetWindowTextW(form.control(ctl::txtHost), L"C:\\db\\srcsafe.ini");
  SetWindowTextW(form.control(ctl::txtProject), L"$/p");
  SetWindowTextW(form.control(ctl::txtStartDate), L"2008-01-01 00:00");
  SetWindowTextW(form.control(ctl::txtEndDate), L"2009-01-01 00:00");
  SetWindowTextW(form.control(ctl::txtUser), L"u");
  SetWindowTextW(form.control(ctl::txtPasswd), L"p");
  click(form.control(ctl::View));
  std::wstring started = std::wstring(marker) + L".started";
  int visited = 0;
  g_onSpec = [&](const std::wstring&) {
    if (++visited == 1) {
      std::ofstream(started.c_str()) << "walk started";
      PostMessageW(form.hwnd(), WM_CLOSE, 0, 0);
    }
  };
  BoxCatcher boxes;
  boxes.answer({IDYES, IDYES});  // the long-operation confirmation, then the close question
  click(form.control(ctl::cmdPatch));
  // Reached only when the close did not end the process.
  std::ofstream(std::wstring(marker).c_str()) << "completed " << visited;
  removeIni();
}

TEST(CloseYes, EndsTheProcessAtOnceWithoutCompletingTheRun) {
  std::wstring marker = exeDir() + L"\\close_marker";
  DeleteFileW(marker.c_str());
  DeleteFileW((marker + L".started").c_str());
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=CloseHelper.AnswerYesDuringRun";
  SetEnvironmentVariableW(L"OSTRABEL_CLOSE_MARKER", marker.c_str());
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  SetEnvironmentVariableW(L"OSTRABEL_CLOSE_MARKER", nullptr);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u);
  EXPECT_NE(GetFileAttributesW((marker + L".started").c_str()), INVALID_FILE_ATTRIBUTES)
      << "the run was under way when the close came";
  EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES)
      << "nothing ran after the answer Yes";
  DeleteFileW(marker.c_str());
  DeleteFileW((marker + L".started").c_str());
}

// ---- pickers ----

TEST_F(FormTest, FileDialog_CancelKeepsTheTextConfirmPutsTheFullPath) {
  SetWindowTextW(c(ctl::txtHost), L"before");
  {
    BoxCatcher dialogs;
    dialogs.onDialog([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
    click(c(ctl::iniPath));
    EXPECT_EQ(dialogs.otherDialogs(), 1);
    EXPECT_TRUE(dialogs.boxes().empty());
  }
  EXPECT_EQ(windowText(c(ctl::txtHost)), L"before");

  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + L"ostrabel_ui_dialog";
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring file = dir + L"\\srcsafe.ini";
  std::ofstream(file.c_str()) << "[x]\n";
  {
    BoxCatcher dialogs;
    std::wstring title;
    dialogs.onDialog([&](HWND dialog) {
      title = windowText(dialog);
      HWND name = GetDlgItem(dialog, 0x480);  // the file name box
      if (!name) name = GetDlgItem(dialog, 0x47c);
      SetWindowTextW(name, file.c_str());
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    });
    click(c(ctl::iniPath));
    EXPECT_EQ(dialogs.otherDialogs(), 1);
    EXPECT_TRUE(dialogs.boxes().empty());
  }
  std::wstring chosen = windowText(c(ctl::txtHost));
  EXPECT_EQ(lstrcmpiW(chosen.c_str(), file.c_str()), 0) << testing::PrintToString(chosen);
  DeleteFileW(file.c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST_F(FormTest, FolderPicker_CancelKeepsTheText) {
  click(c(ctl::opLocal));
  SetWindowTextW(c(ctl::txtShare), L"D:\\keep");
  BoxCatcher dialogs;
  dialogs.onDialog([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  click(c(ctl::patchDir));
  EXPECT_EQ(dialogs.otherDialogs(), 1);
  EXPECT_EQ(windowText(c(ctl::txtShare)), L"D:\\keep");
}

// ---- result lists ----

std::wstring listLine(HWND list, int i) {
  LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
  s.resize(static_cast<size_t>(n));
  return s;
}

bool lastLineVisible(HWND list) {
  RECT rc;
  GetClientRect(list, &rc);
  LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  LRESULT itemHeight = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
  LRESULT visible = itemHeight > 0 ? rc.bottom / itemHeight : 1;
  return top <= count - 1 && count - 1 < top + visible;
}

TEST_F(FormTest, Lists_AppendInOrderScrollOnlyThatListAndSelectNothing) {
  struct Case { engine::ResultList list; int id, other; };
  for (Case k : {Case{engine::ResultList::Shared, ctl::ListShared, ctl::listUnshare},
                 Case{engine::ResultList::Unshare, ctl::listUnshare, ctl::ListShared}}) {
    SCOPED_TRACE(k.id);
    HWND list = c(k.id), other = c(k.other);
    form_->clearList(engine::ResultList::Shared);
    form_->clearList(engine::ResultList::Unshare);
    // The other list holds lines of its own, scrolled to the top with line 3 selected.
    for (int i = 0; i < 30; ++i) SendMessageW(other, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"other"));
    SendMessageW(other, LB_SETCURSEL, 3, 0);
    SendMessageW(other, LB_SETTOPINDEX, 0, 0);
    const wchar_t* lines[] = {L"$/z.txt", L"$/a.txt - VSS上这个文件是损坏的", L"$/m.txt"};
    for (int i = 0; i < 40; ++i) {
      form_->appendLine(k.list, lines[i % 3]);
      EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    }
    form_->flushOutput();
    EXPECT_TRUE(lastLineVisible(list));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 40);
    EXPECT_GT(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 0);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(listLine(list, i), lines[i % 3]);
    EXPECT_EQ(SendMessageW(other, LB_GETCOUNT, 0, 0), 30);
    EXPECT_EQ(SendMessageW(other, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(SendMessageW(other, LB_GETTOPINDEX, 0, 0), 0);
  }
}

TEST_F(FormTest, Lists_HoldAHundredThousandLinesBeyondASixteenBitIndex) {
  const int n = 100000;
  for (int i = 0; i < n; ++i) form_->appendLine(engine::ResultList::Shared, L"$/p/f" + std::to_wstring(i));
  HWND list = c(ctl::ListShared);
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), n);
  EXPECT_EQ(listLine(list, n - 1), L"$/p/f" + std::to_wstring(n - 1));
  EXPECT_EQ(listLine(list, 32768), L"$/p/f32768");
  form_->flushOutput();
  EXPECT_TRUE(lastLineVisible(list));
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
}

// ---- clipboard ----

std::wstring clipboardText(bool* hasText) {
  *hasText = false;
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"<clipboard busy>";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    *hasText = true;
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

void putClipboardText(const wchar_t* text) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  size_t bytes = (lstrlenW(text) + 1) * sizeof(wchar_t);
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
  CopyMemory(GlobalLock(mem), text, bytes);
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
}

TEST_F(FormTest, Clipboard_CopiesTheListWithCrLfBetweenLines) {
  struct Case { std::vector<std::wstring> lines; bool hasText; std::wstring expected; };
  const Case cases[] = {
      {{}, false, L""},
      {{L"$/a/b.txt"}, true, L"$/a/b.txt"},
      {{L"$/c.txt", L"$/a.txt - VSS上这个文件是损坏的", L"$/b.txt"}, true,
       L"$/c.txt\r\n$/a.txt - VSS上这个文件是损坏的\r\n$/b.txt"},
  };
  struct Menu { int command; engine::ResultList list; };
  for (Menu m : {Menu{ctl::menuSharedToClip, engine::ResultList::Shared},
                 Menu{ctl::menuUnshareToClip, engine::ResultList::Unshare}}) {
    for (const Case& k : cases) {
      SCOPED_TRACE(testing::Message() << m.command << " lines " << k.lines.size());
      form_->clearList(engine::ResultList::Shared);
      form_->clearList(engine::ResultList::Unshare);
      for (const auto& line : k.lines) form_->appendLine(m.list, line);
      // The other list has a line of its own, which must not be copied.
      form_->appendLine(m.list == engine::ResultList::Shared ? engine::ResultList::Unshare
                                                             : engine::ResultList::Shared,
                        L"$/other.txt");
      putClipboardText(L"earlier content");
      BoxCatcher boxes;
      command(m.command);
      bool hasText = false;
      EXPECT_EQ(clipboardText(&hasText), k.expected);
      EXPECT_EQ(hasText, k.hasText);
      ASSERT_EQ(boxes.boxes().size(), 1u);
      EXPECT_EQ(boxes.boxes()[0].text, L"文件列表已复制至剪贴板中");
      EXPECT_EQ(boxes.boxes()[0].title, L"提示");
      EXPECT_TRUE(boxes.boxes()[0].hasIcon);
      EXPECT_TRUE(boxes.boxes()[0].ok);
      EXPECT_FALSE(boxes.boxes()[0].yes);
    }
  }
}

TEST_F(FormTest, Clipboard_HeldByAnotherOwnerReportsFailureAndNoConfirmation) {
  form_->appendLine(engine::ResultList::Shared, L"$/a.txt");
  putClipboardText(L"theirs");
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    BOOL ok = OpenClipboard(nullptr);
    SetEvent(opened);
    WaitForSingleObject(release, 10000);
    if (ok) CloseClipboard();
  });
  WaitForSingleObject(opened, 5000);
  {
    BoxCatcher boxes;
    command(ctl::menuSharedToClip);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_NE(boxes.boxes()[0].text, L"文件列表已复制至剪贴板中");
    EXPECT_NE(boxes.boxes()[0].text.find(L"剪贴板"), std::wstring::npos);
    EXPECT_EQ(boxes.boxes()[0].title, L"提示");
    EXPECT_TRUE(boxes.boxes()[0].hasIcon);
    EXPECT_TRUE(boxes.boxes()[0].ok);
  }
  SetEvent(release);
  holder.join();
  CloseHandle(opened);
  CloseHandle(release);
  bool hasText = false;
  EXPECT_EQ(clipboardText(&hasText), L"theirs") << "the other owner's content is left alone";
}

}  // namespace

std::wstring statusText(HWND bar) {
  LRESULT length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void pumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    pump();
    Sleep(5);
  }
}

namespace {

// A View run lets the window work between two files: a copy made in the middle of the run holds
// the lines listed so far, and afterwards the window is back to idle with everything shown.
TEST_F(FormTest, Run_WindowCommandsWorkBetweenFilesAndTheRunFinishes) {
  SetWindowTextW(c(ctl::txtHost), L"C:\\db\\srcsafe.ini");
  SetWindowTextW(c(ctl::txtProject), L"$/p");
  SetWindowTextW(c(ctl::txtStartDate), L"2008-01-01 00:00");
  SetWindowTextW(c(ctl::txtEndDate), L"2009-01-01 00:00");
  SetWindowTextW(c(ctl::txtUser), L"u");
  SetWindowTextW(c(ctl::txtPasswd), L"p");
  click(c(ctl::View));
  int visited = 0;
  std::wstring buttonDuringRun;
  bool enabledDuringRun = true;
  g_onSpec = [&](const std::wstring&) {
    if (++visited == 3) {
      PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(ctl::menuSharedToClip, 0), 0);
      buttonDuringRun = windowText(c(ctl::cmdPatch));
      enabledDuringRun = enabled(c(ctl::cmdPatch));
    }
  };
  putClipboardText(L"earlier content");
  BoxCatcher boxes;
  boxes.answer({IDYES, IDOK});  // the long-operation confirmation, then the copy confirmation
  click(c(ctl::cmdPatch));
  pumpFor(200);  // the repaint timer brings the lists and the status bar up to date
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[1].text, L"文件列表已复制至剪贴板中");
  bool hasText = false;
  EXPECT_EQ(clipboardText(&hasText), L"$/p/f0.txt\r\n$/p/f1.txt");
  EXPECT_EQ(buttonDuringRun, L"Patching...");
  EXPECT_FALSE(enabledDuringRun);
  EXPECT_EQ(SendMessageW(c(ctl::ListShared), LB_GETCOUNT, 0, 0), 5);
  EXPECT_TRUE(lastLineVisible(c(ctl::ListShared))) << "scrolled by the repaint timer";
  EXPECT_EQ(SendMessageW(c(ctl::ListShared), LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(statusText(c(ctl::statusBar)), L"补丁整理完成！");
  RECT update;
  EXPECT_FALSE(GetUpdateRect(c(ctl::statusBar), &update, FALSE)) << "repainted by now";
  EXPECT_TRUE(IsWindowVisible(c(ctl::statusBar)));
  EXPECT_TRUE(IsWindowVisible(c(ctl::ListShared)));
  EXPECT_EQ(windowText(c(ctl::cmdPatch)), L"Patch(ed)");
  EXPECT_TRUE(enabled(c(ctl::cmdPatch)));
  EXPECT_FALSE(form_->patcher().state().running);
}

}  // namespace

namespace {

TEST_F(FormTest, Focus_StartsInTheFirstBoxAndComesBackAfterABox) {
  EXPECT_EQ(GetFocus(), c(ctl::txtHost));
  SetFocus(c(ctl::txtUser));
  BoxCatcher boxes;
  boxes.answer({IDNO});
  command(ctl::menuAbout);
  pump();
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(GetFocus(), c(ctl::txtUser));
}

}  // namespace

namespace {

int fontHeight(HWND control) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW lf = {};
  GetObjectW(font, sizeof(lf), &lf);
  return lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
}

// Moved to a monitor of 144 dpi, the window and everything in it grow by half.
TEST_F(FormTest, Dpi_TheWindowScalesAsAWhole) {
  int font96 = fontHeight(c(ctl::txtHost));
  RECT suggested;
  GetWindowRect(hwnd(), &suggested);
  SendMessageW(hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  RECT client;
  GetClientRect(hwnd(), &client);
  EXPECT_EQ(client.right, 1112);  // 11115 twips at 144 dpi
  EXPECT_EQ(client.bottom, 944);  // 9435 twips
  struct Place { int id, left, top, width, height; };
  for (Place p : {Place{ctl::txtHost, 156, 20, 396, 27}, Place{ctl::cmdPatch, 408, 336, 242, 38},
                  Place{ctl::listUnshare, 24, 696, 1058, 186}, Place{ctl::Frame3, 660, 240, 434, 182}}) {
    SCOPED_TRACE(p.id);
    RECT rc = rectInClient(hwnd(), c(p.id));
    EXPECT_EQ(rc.left, p.left);
    EXPECT_EQ(rc.top, p.top);
    EXPECT_EQ(rc.right - rc.left, p.width);
    EXPECT_EQ(rc.bottom - rc.top, p.height);
  }
  RECT label = rectInClient(hwnd(), c(ctl::Label13));  // Frame3's corner + (240, 360) twips
  EXPECT_EQ(label.left, 684);
  EXPECT_EQ(label.top, 276);
  EXPECT_GT(fontHeight(c(ctl::txtHost)), font96);
  RECT bar = rectInClient(hwnd(), c(ctl::statusBar));
  EXPECT_EQ(bar.right, 1112);
  EXPECT_EQ(bar.bottom, 944);
}

}  // namespace
