// The console program's command line: the options, the inputs of a run made of the settings file,
// the options and the password variable, and the usage text.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/output.h"
#include "engine/ports.h"
#include "settings/settings.h"

namespace console {

// The environment variable a password may come from instead of the settings file.
inline constexpr const wchar_t* kPasswordVariable = L"OSTRABEL_PASSWORD";
// The destination that stands for standard output.
inline constexpr const wchar_t* kStandardOutput = L"-";

// What the command line asks for. An input left out is taken from the settings file.
struct Options {
  bool help = false;
  std::optional<std::wstring> ini;
  std::optional<engine::ModeOption> mode;
  std::optional<std::wstring> host, user, project, patch, localDir, startDate, endDate, targetUser;
  std::optional<bool> ignoreBuildUser;
  // Where the lists go: a file, kStandardOutput, or (left out) their default streams.
  std::optional<std::wstring> processed, unprocessed;
  Encoding encoding = Encoding::Ansi;

  // The release engineer's questions: bounds at the time of a label (which replace the dates),
  // label records passed over, the report of the lists, and the explanation of files instead of
  // the walk (console/labels.h, console/report.h, console/explain.h).
  std::optional<std::wstring> sinceLabel, untilLabel, report;
  bool skipLabels = false;
  std::vector<std::wstring> explain;

  // The database folder read directly (vssdb/), not through SourceSafe's library: View, Local and
  // the questions only.
  bool direct = false;
};

// A command line that cannot be followed; what() is ASCII, message() what the user reads.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(std::wstring message)
      : std::runtime_error("invalid command line"), message_(std::move(message)) {}
  const std::wstring& message() const { return message_; }

 private:
  std::wstring message_;
};

// The text with the letters A to Z made lower case (what Windows does to file names and what the
// options' names ignore), the rest as it is.
std::wstring lowerAscii(std::wstring_view text);

// Reads the arguments after the program's name: "--name value" or "--name=value"; "--help",
// "-h" and "/?" ask for the usage. Throws UsageError for anything it cannot follow.
Options parseOptions(const std::vector<std::wstring>& arguments);
// Every option name the parser knows ("--ini", ...), for the usage's test.
std::vector<std::wstring> optionNames();

// The inputs of a run, held as the window's boxes and options would hold them.
struct RunInputs {
  std::wstring host, project, patch, user, passwd, startDate, endDate, targetUser, localDir;
  // Nothing: no option selected, which runs as View.
  std::optional<engine::ModeOption> mode;
  bool ignoreBuildUser = false;
  // The password is empty because the job says so: a login without a password.
  bool emptyPasswordGiven = false;

  std::wstring text(engine::TextBox box) const;
};

// The settings file's values with the options put over them; the password variable, when set
// and not empty, wins over the file's password. An empty password counts as given only when the
// job gives it: the variable set to an empty value, or `passwdGiven` (the file's passwd key is
// there, empty); a password simply missing is not an empty one. Without a mode option the run is
// a View run.
RunInputs mergeInputs(const settings::SavedInputs& saved, const Options& options,
                      const std::optional<std::wstring>& passwordVariable,
                      bool passwdGiven = false);

// The usage, in Chinese and English, CR LF line ends.
std::wstring usageText();

}  // namespace console
