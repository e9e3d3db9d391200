// platform::WinPlatform on the real calls: the date conversion of the validation, the current time,
// the existence test and folder creation of populateValue, and lower-casing.
#include <windows.h>
#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>

#include "platform/win_platform.h"
#include "tests/temp_folder.h"

namespace {

class WinPlatformTest : public ::testing::Test {
 protected:
  testing_support::TempFolder folder_{L"ostrabel-platform"};
  platform::WinPlatform platform_;
};

TEST_F(WinPlatformTest, ToDateReadsTheFormsTheWindowShowsAndRefusesOtherTexts) {
  // Days since 1899-12-30, the time of day as the fraction.
  const std::pair<const wchar_t*, double> accepted[] = {
      {L"2008-07-07 17:12", 39636.0 + 61920.0 / 86400},
      {L"2009-04-28 13:30", 39931.5625},
      {L"2008-07-07 17:12:30", 39636.0 + 61950.0 / 86400},
      {L"2008-07-07", 39636.0},
      {L"17:12", 17.2 / 24}};
  for (const auto& [text, expected] : accepted) {
    const std::optional<double> date = platform_.toDate(text);
    ASSERT_TRUE(date.has_value()) << text;
    EXPECT_NEAR(*date, expected, 1e-7) << text;
  }
  for (const std::wstring& text :
       {std::wstring(L"2008-13-45 10:00"), std::wstring(L"abc"), std::wstring(L"2008-07-07 25:00"),
        std::wstring(), std::wstring(L"2008-07-07\0junk", 15)}) {
    EXPECT_FALSE(platform_.toDate(text).has_value()) << testing::PrintToString(text);
  }
}

double localNowToTheSecond() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  now.wMilliseconds = 0;
  double date = 0;
  SystemTimeToVariantTime(&now, &date);
  return date;
}

// The text reads back under the user's locale and under locales with other date orders and
// separators; retried when the clock passes a second boundary between the two readings.
TEST_F(WinPlatformTest, NowTextReadsBackToTheSameSecondInAnyLocale) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const double expected = localNowToTheSecond();
    std::wstring text = platform_.nowText();
    if (localNowToTheSecond() != expected) continue;
    const std::optional<double> back = platform_.toDate(text);
    ASSERT_TRUE(back.has_value()) << testing::PrintToString(text);
    EXPECT_NEAR(*back, expected, 0.1 / 86400) << testing::PrintToString(text);
    for (const LANGID language :
         {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)}) {
      DATE other = 0;
      ASSERT_EQ(VarDateFromStr(text.data(), MAKELCID(language, SORT_DEFAULT), 0, &other), S_OK);
      EXPECT_NEAR(other, expected, 0.1 / 86400)
          << "language " << language << " " << testing::PrintToString(text);
    }
    return;
  }
  FAIL() << "the clock never stayed within one second";
}

TEST_F(WinPlatformTest, PathExistsAndCreateFolderOnFilesAndFolders) {
  const std::wstring file = folder_.file(L"file.txt"), created = folder_.file(L"本地补丁");
  folder_.write(L"file.txt", "x");
  EXPECT_EQ(platform_.createFolder(created), 0u);
  EXPECT_EQ(platform_.createFolder(created), DWORD{ERROR_ALREADY_EXISTS});
  EXPECT_EQ(platform_.createFolder(created + L"\\no parent\\child"), DWORD{ERROR_PATH_NOT_FOUND});
  EXPECT_TRUE(platform_.pathExists(file) && platform_.pathExists(created) &&
              platform_.pathExists(created + L"\\"));
  // populateValue tries an empty local directory too; it must come back as a failure.
  for (const std::wstring& path :
       {std::wstring(), folder_.file(L"bad<name>"), folder_.file(L"x") + L'\0' + L"y"}) {
    EXPECT_NE(platform_.createFolder(path), 0u) << testing::PrintToString(path);
    EXPECT_FALSE(platform_.pathExists(path)) << testing::PrintToString(path);
  }
  for (const std::wstring& path :
       {file + L"\\", folder_.file(L"*"), created + L"\\no parent", folder_.file(L"x")}) {
    EXPECT_FALSE(platform_.pathExists(path)) << testing::PrintToString(path);
  }
}

// Local mode leaves a writable copy alone: only a plain file that may be written counts, not a
// read-only copy (what a fetch leaves), a folder, or nothing.
TEST_F(WinPlatformTest, WritableFileExistsOnlyForAFileThatMayBeWritten) {
  folder_.write(L"edited.c", "edited");
  folder_.write(L"fetched.c", "fetched");
  folder_.write(L"hidden.c", "hidden");
  SetFileAttributesW(folder_.file(L"fetched.c").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(folder_.file(L"hidden.c").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryW(folder_.file(L"folder.c").c_str(), nullptr);
  EXPECT_TRUE(platform_.writableFileExists(folder_.file(L"edited.c")));
  EXPECT_TRUE(platform_.writableFileExists(folder_.file(L"EDITED.C")));
  EXPECT_TRUE(platform_.writableFileExists(folder_.file(L"hidden.c")));
  for (const std::wstring& path :
       {folder_.file(L"fetched.c"), folder_.file(L"folder.c"), folder_.file(L"none.c"),
        std::wstring(), folder_.file(L"edited.c") + std::wstring(1, L'\0') + L"x"}) {
    EXPECT_FALSE(platform_.writableFileExists(path)) << testing::PrintToString(path);
  }
  SetFileAttributesW(folder_.file(L"fetched.c").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Local runs remove the library's bookkeeping files, mssccprj.scc read-only among them.
TEST_F(WinPlatformTest, RemoveFileRemovesReadOnlyFilesAndSaysWhyItCannot) {
  folder_.write(L"vssver.scc", "v");
  folder_.write(L"mssccprj.scc", "m");
  SetFileAttributesW(folder_.file(L"mssccprj.scc").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryW(folder_.file(L"folder").c_str(), nullptr);
  EXPECT_EQ(platform_.removeFile(folder_.file(L"vssver.scc")), 0u);
  EXPECT_EQ(platform_.removeFile(folder_.file(L"mssccprj.scc")), 0u);
  EXPECT_FALSE(platform_.pathExists(folder_.file(L"mssccprj.scc")));
  EXPECT_EQ(platform_.removeFile(folder_.file(L"vssver.scc")),
            static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(platform_.removeFile(folder_.file(L"folder")), 0u);
  EXPECT_TRUE(platform_.pathExists(folder_.file(L"folder")));
}

TEST_F(WinPlatformTest, ToLowerLowersTheWholeText) {
  EXPECT_EQ(platform_.toLower(L"COMPILERUSER ÄÖÜ Élan ПРИВЕТ 用户Zhang"),
            L"compileruser äöü élan привет 用户zhang");
}

}  // namespace
