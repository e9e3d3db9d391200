// One invocation of the console program, from its arguments to its exit status, over what the
// platform gives it: the standard streams, the engine's platform port, the source-control
// library, the settings file, the environment and a clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/exit_status.h"
#include "console/list_file.h"
#include "console/output.h"
#include "engine/ports.h"
#include "settings/settings.h"
#include "vss/port.h"

namespace console {

// A settings file as read: its values, or why it could not be read.
struct SettingsFile {
  enum class Problem { None, NotFound, Unreadable };
  Problem problem = Problem::None;
  std::uint32_t systemError = 0;  // the system's code for Unreadable, when there is one
  settings::SavedInputs values;
  // Keys whose value filled the profile functions' read: it may have been cut, and is not used.
  std::vector<std::wstring> cutKeys;
  // The passwd key is in the file, even with an empty value.
  bool passwdGiven = false;
};

class Environment {
 public:
  virtual ~Environment() = default;
  virtual Terminal& terminal() = 0;
  virtual engine::PlatformPort& platform() = 0;
  virtual vss::Library& library() = 0;
  // The list files, and where the job's files lie.
  virtual FileSystem& fileSystem() = 0;
  // The settings file at `path`, read the way the window reads its own.
  virtual SettingsFile readSettings(const std::wstring& path) = 0;
  // An environment variable's value; nothing when it is not set.
  virtual std::optional<std::wstring> variable(const std::wstring& name) = 0;
  virtual Encoder encoder(Encoding encoding) = 0;
  // A steady clock, in milliseconds.
  virtual std::int64_t milliseconds() = 0;
};

// Runs the program with the arguments after its name; returns the exit status (ExitStatus).
// Nothing escapes: whatever fails is said on standard error and given its status.
int run(const std::vector<std::wstring>& arguments, Environment& environment);

}  // namespace console
