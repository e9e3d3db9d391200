// Form1, the program's one window: the inputs of a run, the mode options, the Patch button,
// the two result lists, the status bar and the menus. It is also the engine's WindowPort.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/patcher.h"
#include "engine/ports.h"
#include "settings/ini_api.h"
#include "ui/base_window.h"
#include "ui/unique_handle.h"
#include "vss/port.h"

namespace ui {

// Control and menu command identifiers, named after the controls. Tab-stop controls come
// first, in tab order; they are created in this order, which makes it the tab order.
namespace ctl {
enum : int {
  txtHost = 1001,
  txtProject,
  txtShare,
  txtStartDate,
  txtEndDate,
  txtUser,
  txtPasswd,
  chkIgnoreBuildUser,
  cmdPatch,
  ListShared,
  listUnshare,
  txtTargetUser,
  iniPath,
  patchDir,
  txtPatch,
  opShare,
  opLocal,
  View,
  Label1,
  Label8,
  Label2,
  Label9,
  Label10,
  Label17,
  Label4,
  Label7,
  Label11,
  Label16,
  Label5,
  Label6,
  Label13,
  Label14,
  Label12,
  Label15,
  Frame4,
  Frame3,
  Frame1,
  Frame2,
  statusBar,
  menuSharedToClip = 2001,
  menuUnshareToClip,
  menuAbout,
};
}  // namespace ctl

class Form1 : public BaseWindow<Form1>, public engine::WindowPort {
 public:
  static constexpr const wchar_t* kClassName = L"OstrabelForm1";

  Form1(vss::Library& library, engine::PlatformPort& platform);
  ~Form1() override;

  // Creates the window with its controls, runs Form_Load and shows it.
  bool create(int showCommand);
  // Handles one message of the thread's queue: dialog keys (Tab, arrows) first.
  void dispatch(MSG& msg);

  HWND control(int id) const { return GetDlgItem(hwnd_, id); }
  engine::Patcher& patcher() { return patcher_; }
  UINT dpi() const { return dpi_; }
  IniApi& ini() { return ini_; }

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // The last barrier: a failure that no handler expected is shown, and a run it cut short is
  // ended, so that the window stays usable.
  void OnUnexpectedFailure(const std::exception_ptr& failure);

  // WindowPort.
  std::wstring text(engine::TextBox box) override;
  bool isSelected(engine::ModeOption option) override;
  bool isIgnoreBuildUserChecked() override;
  void setStatusText(const std::wstring& text) override;
  void clearList(engine::ResultList list) override;
  void appendLine(engine::ResultList list, const std::wstring& line) override;
  engine::Answer showMessage(const std::wstring& text, const std::wstring& title, engine::Icon icon,
                             engine::Buttons buttons) override;
  void processPendingEvents() override;
  void setPatchButton(const std::wstring& caption, bool enabled) override;
  void saveSettings() override;

  // The window's own commands.
  void Form_Load();
  // True when the window may close; ends the process when the user confirms during a run.
  bool Form_QueryUnload();
  void iniPath_Click();
  void patchDir_Click();
  void opShare_Click();
  void opLocal_Click();
  void View_Click();
  void menuAbout_Click();
  void cmdPatch_Click();
  void menuSharedToClip_Click();
  void menuUnshareToClip_Click();
  // Puts the lines of `oList` on the clipboard; false when the clipboard could not be used.
  bool listToClip(HWND oList);
  // Shows what a run has put into the lists and the status bar now instead of at the next
  // repaint tick.
  void flushOutput() { showOutput(); }

 private:
  void OnCreate();
  void OnCommand(int id, int code);
  LRESULT OnCtlColorStatic(HDC dc, HWND control);
  void OnActivate(UINT state);
  void OnTimer(UINT_PTR id);
  void OnSize();
  void OnDestroy();
  LRESULT OnClose();
  LRESULT OnQueryEndSession();
  void OnDpiChanged(UINT dpi, const RECT* suggested);

  void createControls();
  void layout();
  void fitClientArea();
  void setPathControls(bool patchOn, bool dirOn, bool shareOn);
  void keepTabStopOnSelectedOption();
  void copyListCommand(HWND oList);
  // Holds the redrawing of a list or the status bar until the next repaint tick.
  void holdRedraw(HWND h, bool& held);
  void startRepaintTick();
  // The repaint tick: hands over the status text, scrolls and widens the lists, lets them paint.
  void showOutput();
  void handOverStatus();
  // Widens a list's horizontal extent to its longest line, measuring the lines added since.
  void measureNewLines(engine::ResultList list);
  // Measures every line again (the font changed).
  void remeasureLists();
  int px(int twips) const { return MulDiv(twips, static_cast<int>(dpi_), 1440); }
  HWND listOf(engine::ResultList list) const;
  static std::wstring windowText(HWND hwnd);

  // Control handles, named as in the layout table.
  HWND Label1 = nullptr, txtHost = nullptr, iniPath = nullptr, Label8 = nullptr;
  HWND Label2 = nullptr, txtProject = nullptr, Label9 = nullptr, Frame4 = nullptr;
  HWND opShare = nullptr, txtPatch = nullptr, Label10 = nullptr, opLocal = nullptr;
  HWND txtShare = nullptr, patchDir = nullptr, Label17 = nullptr, View = nullptr;
  HWND Label4 = nullptr, txtStartDate = nullptr, Label7 = nullptr, txtEndDate = nullptr;
  HWND Label11 = nullptr, Frame3 = nullptr, Label16 = nullptr, txtTargetUser = nullptr;
  HWND Label5 = nullptr, txtUser = nullptr, cmdPatch = nullptr, Label6 = nullptr;
  HWND txtPasswd = nullptr, chkIgnoreBuildUser = nullptr, Frame1 = nullptr;
  HWND ListShared = nullptr, Frame2 = nullptr, listUnshare = nullptr, statusBar = nullptr;
  HWND Label13 = nullptr, Label14 = nullptr, Label12 = nullptr, Label15 = nullptr;

  struct ControlDef;
  static const ControlDef kControls[];
  static constexpr UINT_PTR kRepaintTimer = 1;

  IniApi ini_;
  engine::Patcher patcher_;
  UINT dpi_ = 96;
  UniqueFont font_;
  HWND lastFocus_ = nullptr;  // the control that had the focus when the window was last active
  // During a run (the Patch button disabled) the lists and the status bar paint on a repaint
  // tick, not per file.
  bool runShown_ = false;
  bool repaintTick_ = false;
  bool listHeld_[2] = {false, false};
  bool barHeld_ = false;
  // The newest status text, handed to the bar whenever anything could look at it.
  std::wstring statusText_;
  bool statusPending_ = false;
  // Lines each list box has room for without growing its storage again.
  int reserved_[2] = {0, 0};
  // Lines were added since the list last scrolled to its end.
  bool scrollPending_[2] = {false, false};
  // Each list's horizontal extent (pixels) and the lines not yet measured for it.
  int extent_[2] = {0, 0};
  std::vector<std::wstring> unmeasured_[2];
  // A memory DC with the lists' font, for measuring lines.
  UniqueDc measureDc_;
};

// The program's message loop: runs until the window is closed; returns the exit code.
int runMessageLoop(Form1& form);

}  // namespace ui
