// The narrow interfaces through which the portable engine reaches the main window and the
// platform. ui/ implements them with Win32; the native tests implement them with fakes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine {

// The input boxes of the main window that a run reads (LocalDir is the box txtShare).
enum class TextBox { Host, Project, Patch, User, Passwd, StartDate, EndDate, TargetUser, LocalDir };
// The three run-mode option buttons: "VSS", "Local", "View".
enum class ModeOption { Share, Local, View };
// The two result lists: ListShared (processed files) and listUnshare (unprocessed files).
enum class ResultList { Processed, Unprocessed };

enum class Icon { None, Exclamation, Information };
// YesNo boxes always have Yes as the default button.
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

// What a run needs of the main window.
class WindowPort {
 public:
  virtual ~WindowPort() = default;
  virtual std::wstring text(TextBox box) = 0;
  virtual bool isSelected(ModeOption option) = 0;
  virtual bool isIgnoreBuildUserChecked() = 0;
  virtual void setStatusText(const std::wstring& text) = 0;
  virtual void clearList(ResultList list) = 0;
  // Appends a line at the end, scrolls that list (only) to it and leaves no line selected.
  virtual void appendLine(ResultList list, const std::wstring& line) = 0;
  // A modal message box; returns the button pressed.
  virtual Answer showMessage(const std::wstring& text, const std::wstring& title, Icon icon,
                             Buttons buttons) = 0;
  // Lets the window handle the events waiting in its queue, then returns.
  virtual void processPendingEvents() = 0;
  virtual void setPatchButton(const std::wstring& caption, bool enabled) = 0;
  // Writes the current inputs to the settings file.
  virtual void saveSettings() = 0;
};

// What a run needs of the platform: the file system, dates, case.
class PlatformPort {
 public:
  virtual ~PlatformPort() = default;
  // True when a file or a folder exists at `path`.
  virtual bool pathExists(const std::wstring& path) = 0;
  // Creates one folder whose parent exists; 0 on success, otherwise the system error code.
  virtual std::uint32_t createFolder(const std::wstring& path) = 0;
  // True when a file that may be written (not read-only, not a folder) stands at `path`.
  virtual bool writableFileExists(const std::wstring& path) = 0;
  // Deletes the file at `path`, read-only or not; 0 on success, otherwise the system error code.
  virtual std::uint32_t removeFile(const std::wstring& path) = 0;
  // The locale-aware date conversion: an automation date, or nothing when `text` is no date.
  virtual std::optional<double> toDate(const std::wstring& text) = 0;
  // The current local date and time as a text that toDate reads back to the same second.
  virtual std::wstring nowText() = 0;
  // Locale-aware lower-casing of the whole text.
  virtual std::wstring toLower(const std::wstring& text) = 0;
};

}  // namespace engine
