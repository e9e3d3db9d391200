// The inputs of the main window kept in "Ostrabel.ini" beside the executable, section "cfg".
#pragma once

#include <string>

class IniApi;

namespace settings {

// The persisted inputs, one field per key.
struct SavedInputs {
  std::wstring host;
  std::wstring project;
  std::wstring patch;
  std::wstring startDate;
  std::wstring endDate;
  std::wstring user;
  std::wstring passwd;
  bool ignoreBuildUser = false;
  std::wstring localDir;
};

// The section of the nine keys.
inline constexpr const wchar_t* kSection = L"cfg";

// Fills every field from `read(key)`, which gives the text stored under that key of the section.
template <typename Read>
SavedInputs readInputs(Read&& read) {
  SavedInputs inputs;
  inputs.host = read(L"host");
  inputs.project = read(L"project");
  inputs.patch = read(L"patch");
  inputs.startDate = read(L"startDate");
  inputs.endDate = read(L"endDate");
  inputs.user = read(L"user");
  inputs.passwd = read(L"passwd");
  inputs.localDir = read(L"localDir");
  inputs.ignoreBuildUser = read(L"ignoreBuildUser") == L"1";
  return inputs;
}

// Clears a read-only (or any other) attribute of an existing settings file.
void clearIniAttributes(const std::wstring& iniFilePath);
// Reads every key; a missing file, section or key gives an empty text (the box unchecked).
SavedInputs loadSettings(IniApi& ini);
// Writes all nine keys in their fixed order; failures are kept in ini.lastErrorMsg().
void saveSettings(IniApi& ini, const SavedInputs& inputs);

}  // namespace settings
