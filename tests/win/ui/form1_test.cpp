// Form1 as a real window under the real platform: layout, styles, colours, keyboard, menus, the
// window's commands with their message boxes and pickers (caught by a hook and answered), the
// result lists, the clipboard and the close request during a run.
#include <windows.h>
// before the headers that need it
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "box_catcher.h"
#include "platform/win_platform.h"
#include "ui/form1.h"

namespace ctl = ui::ctl;
using engine::ResultList;
using uitest::BoxCatcher;
using uitest::SeenBox;
using uitest::windowText;

namespace {

// ---- a source-control library: every project holds f0.txt .. f4.txt, each changed in 2008 ----

std::function<void()> g_onFile;   // called whenever the walk reads a file's path
std::wstring g_lastFile;          // the path of the file the walk read last
int g_opens = 0, g_failOpen = 0;  // database openings so far; this one (from 1) fails

struct FakeHistory : vss::VersionCursor, vss::Version {  // one record: alice, 2008-09-08
  bool done = false;
  std::unique_ptr<vss::Version> next() override {
    return std::exchange(done, true) ? nullptr : std::make_unique<FakeHistory>();
  }
  std::wstring username() override { return L"alice"; }
  double date() override { return 39700.5; }
  long versionNumber() override { return 1; }
  std::wstring action() override { return L"Checked in"; }
  std::wstring comment() override { return {}; }
  std::wstring label() override { return {}; }
  std::wstring labelComment() override { return {}; }
};
struct FakeItem : vss::Item {
  std::wstring path;
  explicit FakeItem(std::wstring p) : path(std::move(p)) {}
  bool file() const { return path.ends_with(L".txt"); }
  int type() override { return file() ? vss::kTypeFile : vss::kTypeProject; }
  std::wstring name() override { return path.substr(path.rfind(L'/') + 1); }
  std::wstring spec() override {
    if (file()) g_lastFile = path;
    if (file() && g_onFile) g_onFile();
    return path;
  }
  std::unique_ptr<vss::Item> parent() override { return std::make_unique<FakeItem>(L"$/p"); }
  std::vector<std::unique_ptr<vss::Item>> items(bool) override {
    std::vector<std::unique_ptr<vss::Item>> files;
    const int n = path == L"$/big" ? 3000 : 5;
    for (int i = 0; i < n && !file(); ++i)
      files.push_back(std::make_unique<FakeItem>(path + L"/f" + std::to_wstring(i) + L".txt"));
    return files;
  }
  std::unique_ptr<vss::VersionCursor> versions(int) override {
    return std::make_unique<FakeHistory>();
  }
  long versionNumber() override { return 1; }
  std::vector<std::unique_ptr<vss::Item>> links() override { return {}; }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& n, const std::wstring&) override {
    return std::make_unique<FakeItem>(path + L"/" + n);
  }
  void share(vss::Item&, const std::wstring&, int) override {}
  void get(std::wstring&, int) override {}
};
struct FakeLibrary : vss::Library, vss::Database {
  std::unique_ptr<vss::Database> newDatabase() override { return std::make_unique<FakeLibrary>(); }
  void open(const std::wstring&, const std::wstring&, const std::wstring&) override {
    if (++g_opens == g_failOpen) throw vss::Error(vss::kInvalidPassword, L"Gone away");
  }
  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool) override {
    return std::make_unique<FakeItem>(spec);
  }
};

// ---- helpers ----

std::wstring exePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}
std::wstring iniBesideExe() {
  return exePath().substr(0, exePath().rfind(L'\\')) + L"\\Ostrabel.ini";
}
void pump() {
  for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
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
LRESULT count(HWND list) { return SendMessageW(list, LB_GETCOUNT, 0, 0); }
LRESULT selection(HWND list) { return SendMessageW(list, LB_GETCURSEL, 0, 0); }
LRESULT topIndex(HWND list) { return SendMessageW(list, LB_GETTOPINDEX, 0, 0); }
bool lastLineVisible(HWND list) {
  RECT rc;
  GetClientRect(list, &rc);
  LRESULT last = count(list) - 1, rows = rc.bottom / SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
  return topIndex(list) <= last && last < topIndex(list) + rows;
}
// Opens the clipboard for OWNER, trying for up to two seconds: right after a copy another process
// (under Wine, the clipboard manager that serves X) may have it open for a moment.
bool openClipboardPatiently(HWND owner) {
  for (int i = 0; i < 100; ++i) {
    if (OpenClipboard(owner)) return true;
    Sleep(20);
  }
  return false;
}

// The clipboard's text, "<none>" when it holds none.
std::wstring clipboardText() {
  if (!openClipboardPatiently(nullptr)) return L"<busy>";
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  std::wstring text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : L"<none>";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  return text;
}

// A box in one line: title, "icon" if it has one, its buttons ("Yes*" the default), its text.
std::wstring shown(const SeenBox& b) {
  return b.title + (b.hasIcon ? L"|icon|" : L"|") + (b.ok ? L"OK" : L"") + (b.yes ? L"Yes" : L"") +
         (b.defaultId == IDYES ? L"*" : L"") + (b.no ? L"No" : L"") + L"|" + b.text;
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    removeIni();
    createForm();
  }
  void TearDown() override {
    form_.reset();
    removeIni();
    g_onFile = nullptr;
    g_opens = g_failOpen = 0;
  }
  static void removeIni() {
    SetFileAttributesW(iniBesideExe().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(iniBesideExe().c_str());
  }
  void createForm() {
    form_ = std::make_unique<ui::Form1>(library_, platform_);
    ASSERT_TRUE(form_->create(SW_SHOWNORMAL));
    pump();
  }
  HWND c(int id) { return form_->control(id); }
  HWND hwnd() { return form_->hwnd(); }
  void command(int id) { SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  std::wstring statusText() {
    wchar_t text[64] = {};
    SendMessageW(c(ctl::statusBar), SB_GETTEXTW, 0, LPARAM(text));
    return text;
  }
  // Whether txtPatch, patchDir and txtShare are enabled.
  std::vector<bool> pathStates() {
    return {enabled(c(ctl::txtPatch)), enabled(c(ctl::patchDir)), enabled(c(ctl::txtShare))};
  }
  // Starts a View run of a project ($/p: five files, $/big: 3000) from 2008 to 2009.
  void viewRun(const wchar_t* project = L"$/p") {
    const int ids[] = {ctl::txtHost,    ctl::txtProject, ctl::txtStartDate,
                       ctl::txtEndDate, ctl::txtUser,    ctl::txtPasswd};
    const wchar_t* texts[] = {L"C:\\db\\srcsafe.ini", project, L"2008-01-01 00:00",
                              L"2009-01-01 00:00",    L"u",    L"p"};
    for (int i = 0; i < 6; ++i) SetWindowTextW(c(ids[i]), texts[i]);
    click(c(ctl::View));
    click(c(ctl::cmdPatch));
  }

  FakeLibrary library_;
  platform::WinPlatform platform_;
  std::unique_ptr<ui::Form1> form_;
};

// ---- layout, styles and colours ----

// The kinds of control: class, the style bits that matter and their values. Labels fit their
// caption (at least as tall as given); Red ones are sample and help texts; Fixed ones do not fit.
enum Kind { Label, Red, Fixed, Edit, Password, Push, Group, FirstOption, Option, Check, List };
constexpr LONG kEditBits = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP;
constexpr LONG kListBits = LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | WS_TABSTOP;
const struct {
  const wchar_t* cls;
  LONG mask, bits;
} kKinds[] = {{L"Static", 0, 0},
              {L"Static", 0, 0},
              {L"Static", 0, 0},
              {L"Edit", kEditBits, ES_AUTOHSCROLL | WS_TABSTOP},
              {L"Edit", kEditBits, ES_AUTOHSCROLL | WS_TABSTOP | ES_PASSWORD},
              {L"Button", BS_TYPEMASK, BS_PUSHBUTTON},
              {L"Button", BS_TYPEMASK, BS_GROUPBOX},
              {L"Button", BS_TYPEMASK | WS_GROUP, BS_AUTORADIOBUTTON | WS_GROUP},
              {L"Button", BS_TYPEMASK | WS_GROUP, BS_AUTORADIOBUTTON},
              {L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX},
              {L"ListBox", kListBits, WS_TABSTOP}};

struct Control {
  int id;
  const wchar_t* text;
  int left, top, width, height;  // client pixels at 96 dpi
  Kind kind;
};
const Control kLayout[] = {
    {ctl::Label1, L"VSS服务器地址", 16, 16, 78, 12, Label},
    {ctl::txtHost, L"", 104, 13, 264, 18, Edit},
    {ctl::iniPath, L"选择", 376, 13, 57, 18, Push},
    {ctl::Label8, L"如: \\\\fileserver\\vss\\srcsafe.ini", 441, 16, 240, 12, Red},
    {ctl::Label2, L"VSS项目路径", 16, 45, 66, 12, Label},
    {ctl::txtProject, L"", 104, 42, 264, 18, Edit},
    {ctl::Label9, L"如: $/path/to/your/project", 441, 45, 156, 12, Red},
    {ctl::Frame4, L"补丁路径", 16, 64, 417, 65, Group},
    {ctl::opShare, L"VSS", 32, 80, 65, 12, FirstOption},
    {ctl::txtPatch, L"", 104, 80, 265, 18, Edit},
    {ctl::Label10, L"如: $/path/to/your/patch1.0/project", 440, 80, 210, 12, Red},
    {ctl::opLocal, L"Local", 32, 96, 65, 12, Option},
    {ctl::txtShare, L"", 104, 103, 265, 18, Edit},
    {ctl::patchDir, L"选择", 376, 104, 49, 18, Push},
    {ctl::Label17, L"如: D:\\VSS\\path\\to\\your\\localProject", 440, 104, 216, 12, Red},
    {ctl::View, L"View", 32, 112, 65, 12, Option},
    {ctl::Label4, L"时间范围", 16, 136, 48, 12, Label},
    {ctl::txtStartDate, L"", 104, 133, 120, 18, Edit},
    {ctl::Label7, L"至", 232, 136, 12, 12, Label},
    {ctl::txtEndDate, L"", 248, 133, 120, 18, Edit},
    {ctl::Label11, L"如: 2008-08-18 12:01", 440, 136, 120, 12, Red},
    {ctl::Frame3, L"帮助", 440, 160, 289, 121, Group},
    {ctl::Label16, L"操作用户", 16, 168, 49, 17, Fixed},
    {ctl::txtTargetUser, L"", 104, 167, 153, 18, Edit},
    {ctl::Label5, L"用 户 名", 16, 203, 48, 12, Label},
    {ctl::txtUser, L"", 104, 200, 152, 18, Edit},
    {ctl::cmdPatch, L"Patch", 272, 224, 161, 25, Push},
    {ctl::Label6, L"密    码", 16, 232, 48, 12, Label},
    {ctl::txtPasswd, L"", 104, 229, 152, 18, Password},
    {ctl::chkIgnoreBuildUser, L"查询某时间范围内修改的文件时忽略VSS构建用户打Label的时间", 16, 264,
     361, 17, Check},
    {ctl::Frame1, L"已处理文件", 8, 288, 721, 150, Group},
    {ctl::ListShared, L"", 16, 304, 705, 124, List},
    {ctl::Frame2, L"未处理文件", 8, 448, 721, 150, Group},
    {ctl::listUnshare, L"", 16, 464, 705, 124, List},
    // The labels of Frame3, placed relative to the frame's corner (440, 160).
    {ctl::Label13, L"* VSS补丁路径为空则只查询不执行Share操作", 456, 184, 240, 12, Red},
    {ctl::Label14, L"* 时间范围中结束时间为空则默认为当前时间", 456, 208, 240, 12, Red},
    {ctl::Label12, L"* 未处理文件列表中文件目前需要手工处理", 456, 232, 228, 12, Red},
    {ctl::Label15, L"* 操作用户不为空则只读取这个用户操作过的文件", 456, 256, 264, 12, Red},
};

// Without a settings file: every control in its place with its style, every box empty. (The
// validation box of Patch with empty boxes: tests/e2e/window.sh.)
TEST_F(FormTest, Layout_EachControlsClassTextPlaceStyleAndColourAt96Dpi) {
  ASSERT_EQ(form_->dpi(), 96u) << "the layout figures are for 96 dpi";
  HDC dc = CreateCompatibleDC(nullptr);
  for (const Control& e : kLayout) {
    SCOPED_TRACE(testing::Message() << "control id " << e.id);
    HWND h = c(e.id);
    wchar_t cls[16] = {};
    GetClassNameW(h, cls, 16);
    EXPECT_EQ(lstrcmpiW(cls, kKinds[e.kind].cls), 0) << testing::PrintToString(std::wstring(cls));
    EXPECT_EQ(windowText(h), e.text);
    EXPECT_EQ(style(h) & kKinds[e.kind].mask, kKinds[e.kind].bits);
    EXPECT_TRUE(IsWindowVisible(h));
    // The boxes take text of any length (an edit control stops at 32,767 characters unless told
    // otherwise; what Patch does with such texts: tests/e2e/faults.sh).
    if (e.kind == Edit || e.kind == Password) {
      EXPECT_GE(SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 100000);
    }
    RECT rc = rectInClient(hwnd(), h);
    int left = rc.left, top = rc.top, width = rc.right - rc.left, height = rc.bottom - rc.top;
    EXPECT_EQ(std::pair(left, top), std::pair(e.left, e.top));
    if (e.kind == Label || e.kind == Red)  // as wide as the caption, never cut vertically
      EXPECT_TRUE(width > 0 && height >= e.height && height <= e.height + 8) << height;
    else
      EXPECT_EQ(std::pair(width, height), std::pair(e.width, e.height));
    if (e.kind <= Fixed) {
      SetTextColor(dc, RGB(0, 0, 0));
      SendMessageW(hwnd(), WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(h));
      EXPECT_EQ(GetTextColor(dc) == RGB(255, 0, 0), e.kind == Red);
    }
  }
  DeleteDC(dc);
  EXPECT_EQ(SendMessageW(c(ctl::txtPasswd), EM_GETPASSWORDCHAR, 0, 0), L'*');
  // The three options are one group, "VSS" selected; the box unchecked.
  EXPECT_EQ(GetNextDlgGroupItem(hwnd(), c(ctl::View), FALSE), c(ctl::opShare));
  EXPECT_TRUE(checked(c(ctl::opShare)));
  EXPECT_FALSE(checked(c(ctl::opLocal)) || checked(c(ctl::View)) ||
               checked(c(ctl::chkIgnoreBuildUser)));
  // The caption, a fixed client area of 11115 x 9435 twips, one status text below everything.
  EXPECT_EQ(windowText(hwnd()), L"Ostrabel v1.0.3");
  EXPECT_EQ(style(hwnd()) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  RECT client, bar = rectInClient(hwnd(), c(ctl::statusBar));
  GetClientRect(hwnd(), &client);
  EXPECT_TRUE(client.right == 741 && client.bottom == 629);
  EXPECT_TRUE(bar.left == 0 && bar.right == 741 && bar.bottom == 629 && bar.top >= 598);
  EXPECT_TRUE(SendMessageW(c(ctl::statusBar), SB_ISSIMPLE, 0, 0));
}

// ---- keyboard and menus ----

TEST_F(FormTest, TabOrder_FollowsTheTableAndSkipsDisabledControls) {
  auto walk = [&](BOOL previous) {
    std::vector<int> ids;
    for (HWND h = c(ctl::txtHost);
         (h = GetNextDlgTabItem(hwnd(), h, previous)) != c(ctl::txtHost) && ids.size() < 40;)
      ids.push_back(GetDlgCtrlID(h));
    return ids;
  };
  // At start txtShare and patchDir are disabled; Tab enters the options at "VSS".
  std::vector<int> vss = {ctl::txtProject,    ctl::txtStartDate, ctl::txtEndDate,
                          ctl::txtUser,       ctl::txtPasswd,    ctl::chkIgnoreBuildUser,
                          ctl::cmdPatch,      ctl::ListShared,   ctl::listUnshare,
                          ctl::txtTargetUser, ctl::iniPath,      ctl::txtPatch,
                          ctl::opShare};
  EXPECT_EQ(walk(FALSE), vss);
  EXPECT_EQ(walk(TRUE), std::vector<int>(vss.rbegin(), vss.rend()));
  // In Local mode the folder controls take their places, and Tab enters the options at "Local".
  click(c(ctl::opLocal));
  std::vector<int> local = {ctl::txtProject,         ctl::txtShare,      ctl::txtStartDate,
                            ctl::txtEndDate,         ctl::txtUser,       ctl::txtPasswd,
                            ctl::chkIgnoreBuildUser, ctl::cmdPatch,      ctl::ListShared,
                            ctl::listUnshare,        ctl::txtTargetUser, ctl::iniPath,
                            ctl::patchDir,           ctl::opLocal};
  EXPECT_EQ(walk(FALSE), local);
}

// Clicks and arrow keys, in any order, select an option and set the enable states that go with
// it: VSS enables the patch path, Local the folder box and its button, View neither.
TEST_F(FormTest, Options_ClicksAndArrowKeysSetTheEnableStates) {
  const int steps[] = {ctl::View,    ctl::opShare, ctl::opLocal, ctl::View, ctl::opLocal,
                       ctl::opShare, ctl::opShare, VK_DOWN,      VK_DOWN,   VK_DOWN,
                       VK_UP,        VK_LEFT,      ctl::opLocal, ctl::View, ctl::View};
  const int afterKey[] = {ctl::opLocal, ctl::View, ctl::opShare, ctl::View, ctl::opLocal};
  int option = ctl::opShare, keys = 0;
  for (int step : steps) {
    if (step == VK_DOWN || step == VK_UP || step == VK_LEFT) {
      MSG msg = {GetFocus(), WM_KEYDOWN, static_cast<WPARAM>(step), 1, 0, {0, 0}};
      form_->dispatch(msg);
      pump();
      option = afterKey[keys++];
      EXPECT_EQ(GetFocus(), c(option));
    } else {
      click(c(option = step));
      SetFocus(c(option));
    }
    SCOPED_TRACE(testing::Message() << "step " << step << " option " << option);
    EXPECT_TRUE(checked(c(option)));
    EXPECT_EQ(pathStates(), (std::vector<bool>{option == ctl::opShare, option == ctl::opLocal,
                                               option == ctl::opLocal}));
  }
}

// The menu bar's two menus (Alt+F and Alt+H open them) and their items.
TEST_F(FormTest, Menus_CaptionsItemsAndAccessKeys) {
  auto text = [](HMENU menu, UINT item, UINT flags) {
    wchar_t s[64] = {};
    GetMenuStringW(menu, item, s, 64, flags);
    return std::wstring(s);
  };
  HMENU bar = GetMenu(hwnd()), file = GetSubMenu(bar, 0), help = GetSubMenu(bar, 1);
  EXPECT_EQ(text(bar, 0, MF_BYPOSITION), L"文件(&F)");
  EXPECT_EQ(text(bar, 1, MF_BYPOSITION), L"帮助(&H)");
  EXPECT_TRUE(GetMenuItemCount(bar) == 2 && GetMenuItemCount(file) == 2 &&
              GetMenuItemCount(help) == 1);
  EXPECT_EQ(text(file, ctl::menuSharedToClip, MF_BYCOMMAND), L"复制已处理文件列表");
  EXPECT_EQ(text(file, ctl::menuUnshareToClip, MF_BYCOMMAND), L"复制未处理文件列表");
  EXPECT_EQ(text(help, ctl::menuAbout, MF_BYCOMMAND), L"关于Ostrabel");
}

// ---- start-up and the window's commands ----

// A read-only settings file beside the program (the profile functions write it in the ANSI code
// page) fills the boxes; the file is made writable, and the mode is VSS.
TEST_F(FormTest, StartUp_WithASettingsFileFillsTheBoxes) {
  EXPECT_EQ(form_->patcher().state().iniFilePath, iniBesideExe());
  form_.reset();
  const std::tuple<int, const wchar_t*, const wchar_t*> saved[] = {
      {ctl::txtHost, L"host", L"\\\\srv\\库\\srcsafe.ini"},
      {ctl::txtProject, L"project", L"$/产品/主线"},
      {ctl::txtPatch, L"patch", L"$/补丁"},
      {ctl::txtStartDate, L"startDate", L"2008-07-07 17:12"},
      {ctl::txtEndDate, L"endDate", L""},
      {ctl::txtUser, L"user", L"张三"},
      {ctl::txtPasswd, L"passwd", L"pw"},
      {ctl::txtShare, L"localDir", L"C:\\补丁"},
      {ctl::chkIgnoreBuildUser, L"ignoreBuildUser", L"1"}};
  for (auto [id, key, value] : saved)
    WritePrivateProfileStringW(L"cfg", key, value, iniBesideExe().c_str());
  SetFileAttributesW(iniBesideExe().c_str(), FILE_ATTRIBUTE_READONLY);
  createForm();
  for (auto [id, key, value] : saved)
    EXPECT_EQ(id == ctl::chkIgnoreBuildUser ? L"1" : windowText(c(id)), value) << key;
  EXPECT_EQ(windowText(c(ctl::txtTargetUser)), L"");
  EXPECT_TRUE(checked(c(ctl::chkIgnoreBuildUser)));
  EXPECT_TRUE(checked(c(ctl::opShare)));
  EXPECT_EQ(pathStates(), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(GetFileAttributesW(iniBesideExe().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(FormTest, About_RepeatsTheQuestionWhileYes) {
  BoxCatcher boxes;
  boxes.answer({IDYES, IDYES, IDNO});
  command(ctl::menuAbout);
  ASSERT_EQ(boxes.boxes().size(), 3u);
  const std::wstring& verse = boxes.boxes()[0].text;
  EXPECT_TRUE(verse.size() > 2 && verse.find(L"\r\n") == verse.size() - 2) << "one line";
  EXPECT_EQ(shown(boxes.boxes()[0]), L"关于|icon|Yes*No|" + verse);
  EXPECT_EQ(shown(boxes.boxes()[1]), L"关于|icon|Yes*No|您确定知道我在说什么？");
  EXPECT_EQ(shown(boxes.boxes()[2]), L"关于|icon|Yes*No|您确定知道我在说什么？");
}

TEST_F(FormTest, Close_DuringARunAsksAndNoKeepsTheWindowWhileIdleItClosesAtOnce) {
  form_->patcher().state().running = true;
  {
    BoxCatcher boxes;
    SendMessageW(hwnd(), WM_CLOSE, 0, 0);  // unplanned boxes are answered No
    EXPECT_EQ(SendMessageW(hwnd(), WM_QUERYENDSESSION, 0, 0), FALSE) << "log-off asks too";
    ASSERT_EQ(boxes.boxes().size(), 2u);
    EXPECT_EQ(shown(boxes.boxes()[0]), L"提示|Yes*No|操作正在进行中，真的要退出？");
    EXPECT_TRUE(IsWindow(hwnd()));
  }
  form_->patcher().state().running = false;
  BoxCatcher boxes;
  SendMessageW(hwnd(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(form_->hwnd(), nullptr);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the program ends";
}

// The file picker for the library's settings file and the folder picker for the local folder.
TEST_F(FormTest, Pickers_CancelKeepsTheTextConfirmPutsTheFullPath) {
  bool prompted = false;  // the folder picker shows its instruction
  auto cancel = [&](HWND dialog) {
    prompted |= FindWindowExW(dialog, nullptr, L"Static", L"请选择一个目录.") != nullptr;
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  auto confirm = [](HWND dialog) {  // an existing file's full path into the name box, then OK
    SetDlgItemTextW(dialog, GetDlgItem(dialog, edt1) ? edt1 : cmb13, exePath().c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, LPARAM(GetDlgItem(dialog, IDOK)));
  };
  click(c(ctl::opLocal));
  SetWindowTextW(c(ctl::txtHost), L"before");
  SetWindowTextW(c(ctl::txtShare), L"D:\\keep");
  using Answer = std::function<void(HWND)>;
  for (auto [button, box, answer, expected] :
       {std::tuple{ctl::iniPath, ctl::txtHost, Answer(cancel), std::wstring(L"before")},
        std::tuple{ctl::patchDir, ctl::txtShare, Answer(cancel), std::wstring(L"D:\\keep")},
        std::tuple{ctl::iniPath, ctl::txtHost, Answer(confirm), exePath()}}) {
    SCOPED_TRACE(button);
    BoxCatcher dialogs;
    dialogs.onDialog(answer);
    click(c(button));
    EXPECT_TRUE(dialogs.otherDialogs() == 1 && dialogs.boxes().empty());
    EXPECT_EQ(lstrcmpiW(windowText(c(box)).c_str(), expected.c_str()), 0)
        << testing::PrintToString(windowText(c(box)));
  }
  EXPECT_TRUE(prompted);
}

// ---- result lists and the clipboard ----

// Lines are appended in order, beyond a 16-bit line index, and scrolled into view in their own
// list only; nothing is selected.
TEST_F(FormTest, Lists_AppendInOrderScrollOnlyThatListAndSelectNothing) {
  for (auto [list, id, other, n] :
       {std::tuple{ResultList::Processed, ctl::ListShared, ctl::listUnshare, 100000},
        std::tuple{ResultList::Unprocessed, ctl::listUnshare, ctl::ListShared, 40}}) {
    SCOPED_TRACE(id);
    form_->clearList(ResultList::Processed);
    form_->clearList(ResultList::Unprocessed);
    // The other list holds lines of its own, scrolled to the top with line 3 selected.
    for (int i = 0; i < 30; ++i) SendMessageW(c(other), LB_ADDSTRING, 0, LPARAM(L"other"));
    SendMessageW(c(other), LB_SETCURSEL, 3, 0);
    const wchar_t* lines[] = {L"$/z.txt", L"$/a.txt - VSS上这个文件是损坏的", L"$/m.txt"};
    for (int i = 0; i < n; ++i) form_->appendLine(list, lines[i % 3]);
    form_->flushOutput();
    EXPECT_TRUE(lastLineVisible(c(id)) && topIndex(c(id)) > 0);
    EXPECT_EQ(selection(c(id)), LB_ERR);
    ASSERT_EQ(count(c(id)), n);
    for (int i = 0; i < n; ++i) {
      wchar_t text[64] = {};
      SendMessageW(c(id), LB_GETTEXT, i, LPARAM(text));
      EXPECT_STREQ(text, lines[i % 3]);
    }
    EXPECT_TRUE(count(c(other)) == 30 && selection(c(other)) == 3 && topIndex(c(other)) == 0);
  }
}

// Each copy replaces the clipboard's content: three lines, one line, then an empty list.
TEST_F(FormTest, Clipboard_CopiesTheListWithCrLfBetweenLines) {
  for (auto [menu, list, other] :
       {std::tuple{ctl::menuSharedToClip, ResultList::Processed, ResultList::Unprocessed},
        std::tuple{ctl::menuUnshareToClip, ResultList::Unprocessed, ResultList::Processed}}) {
    for (auto [lines, expected] :
         {std::pair{
              std::vector<std::wstring>{L"$/c.txt", L"$/a.txt - VSS上这个文件是损坏的", L"$/b.txt"},
              L"$/c.txt\r\n$/a.txt - VSS上这个文件是损坏的\r\n$/b.txt"},
          {{L"$/a/b.txt"}, L"$/a/b.txt"},
          {{}, L"<none>"}}) {
      SCOPED_TRACE(testing::Message() << menu << " lines " << lines.size());
      form_->clearList(ResultList::Processed);
      form_->clearList(ResultList::Unprocessed);
      for (const auto& l : lines) form_->appendLine(list, l);
      form_->appendLine(other, L"$/other.txt");  // must not be copied
      BoxCatcher boxes;
      command(menu);
      EXPECT_EQ(clipboardText(), expected);
      ASSERT_EQ(boxes.boxes().size(), 1u);
      EXPECT_EQ(shown(boxes.boxes()[0]), L"提示|icon|OK|文件列表已复制至剪贴板中");
    }
  }
}

// While another owner (a window of another thread) holds the clipboard open, the copy fails: a
// failure notice, no confirmation, and the clipboard keeps what it had.
TEST_F(FormTest, Clipboard_HeldByAnotherOwnerGivesAFailureNoticeInsteadOfTheConfirmation) {
  form_->appendLine(ResultList::Processed, L"$/a.txt");
  {
    BoxCatcher confirmation;
    command(ctl::menuSharedToClip);  // known content before the other owner takes it
  }
  ui::UniqueKernelHandle held{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  ui::UniqueKernelHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HWND holder = nullptr;
  std::thread other([&] {
    holder = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                             nullptr);
    const bool opened = openClipboardPatiently(holder);
    SetEvent(held.get());
    WaitForSingleObject(release.get(), 30000);
    if (opened) CloseClipboard();
    DestroyWindow(holder);
  });
  WaitForSingleObject(held.get(), 10000);
  const HWND openBefore = GetOpenClipboardWindow();
  form_->appendLine(ResultList::Processed, L"$/b.txt");
  BoxCatcher boxes;
  command(ctl::menuSharedToClip);
  const HWND openAfter = GetOpenClipboardWindow();
  SetEvent(release.get());
  other.join();
  ASSERT_TRUE(holder && openBefore == holder) << "the other owner could not open the clipboard";
  EXPECT_EQ(openAfter, holder) << "the copy took the clipboard over";
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_NE(boxes.boxes()[0].text, L"文件列表已复制至剪贴板中");
  EXPECT_EQ(shown(boxes.boxes()[0]).find(L"提示|icon|OK|"), 0u);
  EXPECT_NE(boxes.boxes()[0].text.find(L"剪贴板"), std::wstring::npos);
  EXPECT_EQ(clipboardText(), L"$/a.txt");
}

// A failure that ends a run (here the opening inside the run) is shown; the window is usable again
// and its status bar says that the run stopped. The next run goes through and lets the window work
// between two files: a copy made in the middle of the run holds the lines listed so far, and
// afterwards the window is back to idle with everything shown.
TEST_F(FormTest, Run_AfterAFailedRunTheNextFinishesAndWindowCommandsWorkBetweenFiles) {
  g_failOpen = 2;  // openDatabase's opening passes, the run's own fails
  {
    BoxCatcher boxes;
    boxes.answer({IDYES, IDOK});
    viewRun();
    ASSERT_EQ(boxes.boxes().size(), 2u);
    EXPECT_EQ(shown(boxes.boxes()[1]), L"Ostrabel|OK|Gone away");
  }
  pump();
  EXPECT_EQ(statusText(), L"补丁整理意外中止，结果不完整！");
  EXPECT_TRUE(enabled(c(ctl::cmdPatch)) && !form_->patcher().state().running);
  std::wstring buttonDuringRun;
  g_onFile = [&, visited = 0]() mutable {
    if (++visited != 3) return;
    PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(ctl::menuSharedToClip, 0), 0);
    buttonDuringRun = windowText(c(ctl::cmdPatch)) + (enabled(c(ctl::cmdPatch)) ? L"+" : L"-");
  };
  BoxCatcher boxes;
  boxes.answer({IDYES, IDOK});  // the long-operation question, then the copy confirmation
  click(c(ctl::cmdPatch));
  for (DWORD start = GetTickCount(); GetTickCount() - start < 200; Sleep(5)) pump();
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[1].text, L"文件列表已复制至剪贴板中");
  EXPECT_EQ(clipboardText(), L"$/p/f0.txt\r\n$/p/f1.txt");
  EXPECT_EQ(buttonDuringRun, L"Patching...-") << "disabled during the run";
  EXPECT_EQ(count(c(ctl::ListShared)), 5);
  EXPECT_TRUE(lastLineVisible(c(ctl::ListShared))) << "scrolled by the repaint timer";
  EXPECT_EQ(selection(c(ctl::ListShared)), LB_ERR);
  EXPECT_EQ(statusText(), L"补丁整理完成！");
  EXPECT_FALSE(GetUpdateRect(c(ctl::statusBar), nullptr, FALSE)) << "repainted by now";
  EXPECT_EQ(windowText(c(ctl::cmdPatch)), L"Patch(ed)");
  EXPECT_TRUE(enabled(c(ctl::cmdPatch)) && !form_->patcher().state().running);
}

// Long lines can be read: a list's horizontal extent follows its longest line (measured in the
// list's font) and its scroll bar shows only then; the other list and a cleared one have none.
TEST_F(FormTest, Lists_AHorizontalScrollBarReachesTheLongestLine) {
  HWND list = c(ctl::ListShared);
  const auto scrollBarShown = [](HWND h) { return (style(h) & WS_HSCROLL) != 0; };
  form_->appendLine(ResultList::Processed, L"$/short.txt");
  form_->flushOutput();
  EXPECT_FALSE(scrollBarShown(list));
  const std::wstring longest = L"$/" + std::wstring(60, L'd') + L"/深层/路径/" +
                               std::wstring(120, L'x') + L".txt - VSS上这个文件是损坏的";
  form_->appendLine(ResultList::Processed, std::wstring(100, L'm'));
  form_->appendLine(ResultList::Processed, longest);
  form_->appendLine(ResultList::Processed, L"$/b.txt");
  form_->flushOutput();
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  SIZE size = {};
  GetTextExtentPoint32W(dc, longest.c_str(), static_cast<int>(longest.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  const LRESULT extent = SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0);
  EXPECT_GE(extent, size.cx);
  EXPECT_LE(extent, size.cx + 12);
  EXPECT_TRUE(scrollBarShown(list));
  EXPECT_EQ(SendMessageW(c(ctl::listUnshare), LB_GETHORIZONTALEXTENT, 0, 0), 0);
  EXPECT_FALSE(scrollBarShown(c(ctl::listUnshare)));
  form_->clearList(ResultList::Processed);
  EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), 0);
  EXPECT_FALSE(scrollBarShown(list));
}

// What the status bar answered another thread during a run: (its text, the file being visited).
std::vector<std::pair<std::wstring, std::wstring>> g_statusAnswers;
ui::Form1* g_form = nullptr;

// A named callback: a lambda does not convert to the 32-bit (stdcall) SUBCLASSPROC.
LRESULT CALLBACK recordStatusAnswers(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR) {
  const LRESULT result = DefSubclassProc(h, msg, wParam, lParam);
  if (msg == SB_GETTEXTW && InSendMessage() && g_form->patcher().state().running)
    g_statusAnswers.emplace_back(reinterpret_cast<const wchar_t*>(lParam), g_lastFile);
  return result;
}

// During a run the status bar names the file being visited whenever anything can read it: here
// another thread asks the bar for its text while the walk goes through 3000 files, and each
// answer names the file whose path the walk read last.
TEST_F(FormTest, Run_TheStatusBarNamesTheFileBeingVisitedWheneverAnotherThreadReadsIt) {
  g_statusAnswers.clear();
  g_form = form_.get();
  HWND bar = c(ctl::statusBar);
  ASSERT_TRUE(SetWindowSubclass(bar, recordStatusAnswers, 1, 0));
  std::atomic<bool> stop = false;
  std::thread reader([&] {
    wchar_t text[256];
    while (!stop) {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                          &ignored);
    }
  });
  {
    BoxCatcher boxes;
    boxes.answer({IDYES});
    viewRun(L"$/big");
  }
  stop = true;
  reader.join();
  RemoveWindowSubclass(bar, recordStatusAnswers, 1);
  const auto& answers = g_statusAnswers;
  EXPECT_EQ(count(c(ctl::ListShared)), 3000);
  ASSERT_GE(answers.size(), 20u) << "the reader was hardly answered during the run";
  int stale = 0;
  for (const auto& [text, file] : answers) stale += text != file;
  EXPECT_EQ(stale, 0) << "of " << answers.size() << " answers; e.g. "
                      << testing::PrintToString(answers.back().first) << " while visiting "
                      << testing::PrintToString(answers.back().second);
}

}  // namespace
