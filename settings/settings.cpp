// The main window's inputs in the settings file: section "cfg", nine keys, written in a fixed
// order before every run and read back once at start.
#include "settings/settings.h"

#include <windows.h>

#include "settings/ini_api.h"

namespace settings {

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
  return readInputs([&ini](const wchar_t* key) { return ini.readString(kSection, key); });
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
