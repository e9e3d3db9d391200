// The main window's inputs in the settings file: section "cfg", nine keys, written in a fixed
// order before every run and read back once at start.
#include "settings/settings.h"

#include <windows.h>

#include "settings/ini_api.h"

namespace settings {

namespace {
const wchar_t kSection[] = L"cfg";
}  // namespace

void clearIniAttributes(const std::wstring& iniFilePath) {
  // Any attribute left on the file can block the next save: read-only refuses the write, and
  // hidden or system makes the profile functions' re-creation of the file fail. So every
  // existing file is reset, whatever its attributes; a folder of that name is left alone.
  const DWORD attributes = GetFileAttributesW(iniFilePath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return;
  }
  // A failure leaves the file as it was; the save that follows then fails silently as well.
  SetFileAttributesW(iniFilePath.c_str(), FILE_ATTRIBUTE_NORMAL);
}

SavedInputs loadSettings(IniApi& ini) {
  SavedInputs inputs;
  inputs.host = ini.readString(kSection, L"host");
  inputs.project = ini.readString(kSection, L"project");
  inputs.patch = ini.readString(kSection, L"patch");
  inputs.startDate = ini.readString(kSection, L"startDate");
  inputs.endDate = ini.readString(kSection, L"endDate");
  inputs.user = ini.readString(kSection, L"user");
  inputs.passwd = ini.readString(kSection, L"passwd");
  inputs.localDir = ini.readString(kSection, L"localDir");
  inputs.ignoreBuildUser = ini.readString(kSection, L"ignoreBuildUser") == L"1";
  return inputs;
}

void saveSettings(IniApi& ini, const SavedInputs& inputs) {
  // The results are not looked at: a failure stays in ini.lastErrorMsg().
  ini.writeString(kSection, L"host", inputs.host);
  ini.writeString(kSection, L"project", inputs.project);
  ini.writeString(kSection, L"patch", inputs.patch);
  ini.writeString(kSection, L"startDate", inputs.startDate);
  ini.writeString(kSection, L"endDate", inputs.endDate);
  ini.writeString(kSection, L"user", inputs.user);
  ini.writeString(kSection, L"passwd", inputs.passwd);
  ini.writeString(kSection, L"ignoreBuildUser", inputs.ignoreBuildUser ? L"1" : L"0");
  ini.writeString(kSection, L"localDir", inputs.localDir);
}

}  // namespace settings
