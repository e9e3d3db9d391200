// The persisted inputs in the real settings file: the file a first save makes, what a start
// loads from it, and the attribute reset that lets a read-only file be saved again.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/ini_api.h"
#include "settings/settings.h"
#include "tests/temp_folder.h"

namespace {

std::vector<std::wstring> fields(const settings::SavedInputs& s) {
  return {s.host,    s.project, s.patch,  s.startDate,
          s.endDate, s.user,    s.passwd, s.ignoreBuildUser ? L"checked" : L"unchecked",
          s.localDir};
}

class SettingsTest : public ::testing::Test {
 protected:
  settings::SavedInputs load(const std::wstring& name) {
    ini_.setIniFileName(folder_.file(name));
    return settings::loadSettings(ini_);
  }
  testing_support::TempFolder folder_{L"ostrabel-settings"};
  IniApi ini_;
};

// What one start loads from a file, the next start's first save writes back byte for byte.
TEST_F(SettingsTest, LoadAndFirstSaveUseTheNineKeysInTheirOrder) {
  const std::string saved =
      "[cfg]\r\nhost=C:\\vss\\srcsafe.ini\r\nproject=$/path/to/your/project\r\n"
      "patch=$/patch/2008\r\nstartDate=2008-07-07 17:12\r\nendDate=\r\nuser=builder\r\n"
      "passwd=pa55;word\r\nignoreBuildUser=1\r\nlocalDir=D:\\patch\r\n";
  folder_.write(L"old.ini", saved);
  settings::SavedInputs inputs = load(L"old.ini");
  EXPECT_EQ(fields(inputs),
            std::vector<std::wstring>({L"C:\\vss\\srcsafe.ini", L"$/path/to/your/project",
                                       L"$/patch/2008", L"2008-07-07 17:12", L"", L"builder",
                                       L"pa55;word", L"checked", L"D:\\patch"}));
  ini_.setIniFileName(folder_.file(L"Ostrabel.ini"));
  settings::saveSettings(ini_, inputs);
  EXPECT_EQ(folder_.read(L"Ostrabel.ini"), saved);
  EXPECT_EQ(ini_.lastErrorMsg(), L"");

  // Texts the profile functions would alter if stored bare (surrounding blanks stripped, one
  // pair of enclosing quotes removed) and a start date that is no date: kept as typed.
  inputs = {L"   ",      L"\" spaced \"", L"\"open", L"not a date", L"",
            L"'single'", L"trail ",       false,     L" lead\\"};
  settings::saveSettings(ini_, inputs);
  EXPECT_NE(folder_.read(L"Ostrabel.ini").find("\r\nignoreBuildUser=0\r\n"), std::string::npos);
  EXPECT_EQ(fields(load(L"Ostrabel.ini")), fields(inputs));
}

TEST_F(SettingsTest, OnlyExactlyOneChecksTheIgnoreBuildUserBox) {
  int n = 0;  // a file each, so that no case reads another's from the profile cache
  for (const std::string stored : {"1", "true", "-1", "2", "0", "", "11", "1.0"}) {
    SCOPED_TRACE("ignoreBuildUser=" + stored);
    const std::wstring name = L"hand" + std::to_wstring(n++) + L".ini";
    folder_.write(name, "[cfg]\r\nhost=h\r\nignoreBuildUser=" + stored + "\r\n");
    const settings::SavedInputs loaded = load(name);
    EXPECT_EQ(loaded.ignoreBuildUser, stored == "1");
    EXPECT_EQ(loaded.host, L"h");
  }
}

// A missing file or key loads empty and creates nothing.
TEST_F(SettingsTest, MissingFileOrKeysLoadEmpty) {
  EXPECT_EQ(fields(load(L"Ostrabel.ini")), fields({}));
  EXPECT_EQ(GetFileAttributesW(folder_.file(L"Ostrabel.ini").c_str()), INVALID_FILE_ATTRIBUTES);
  folder_.write(L"partial.ini", "[cfg]\r\nuser=u\r\n[other]\r\nhost=elsewhere\r\n");
  EXPECT_EQ(fields(load(L"partial.ini")),
            std::vector<std::wstring>({L"", L"", L"", L"", L"", L"u", L"", L"unchecked", L""}));
}

// Hidden counts too: the profile functions re-create the file, which fails on a hidden one.
TEST_F(SettingsTest, ReadOnlyHiddenFileIsMadeWritableAtStart) {
  const std::wstring file = folder_.file(L"Ostrabel.ini");
  folder_.write(L"Ostrabel.ini", "[cfg]\r\nuser=builder\r\n");
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  settings::clearIniAttributes(file);
  EXPECT_EQ(GetFileAttributesW(file.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            0u);
  settings::SavedInputs inputs = load(L"Ostrabel.ini");
  inputs.user = L"someone else";
  settings::saveSettings(ini_, inputs);
  EXPECT_EQ(load(L"Ostrabel.ini").user, L"someone else");
}

}  // namespace
