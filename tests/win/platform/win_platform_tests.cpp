// ui::WinPlatform on the real calls: the existence test and folder creation of populateValue,
// the date conversion of the validation, the current time, and lower-casing.
#include "ui/win_platform.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <string>

#include "win/settings/temp_folder.h"

namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;

constexpr double kOneSecond = 1.0 / 86400.0;

class WinPlatformTest : public ::testing::Test {
 protected:
  TempFolder folder_{L"ostrabel-platform"};
  ui::WinPlatform platform_;
};

TEST_F(WinPlatformTest, ToDateReadsTheFormsTheWindowShows) {
  struct Case {
    const wchar_t* text;
    double expected;  // days since 1899-12-30, time of day as the fraction
  };
  const Case cases[] = {
      {L"2008-07-07 17:12", 39636.0 + 61920.0 / 86400.0},
      {L"2009-04-28 13:30", 39931.5625},
      {L"2008-08-18 12:01", 39678.0 + 43260.0 / 86400.0},
      {L"2008-07-07 17:12:30", 39636.0 + 61950.0 / 86400.0},
      {L"2008-07-07", 39636.0},
      {L"17:12", 17.2 / 24.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    const std::optional<double> date = platform_.toDate(c.text);
    ASSERT_TRUE(date.has_value());
    EXPECT_NEAR(*date, c.expected, 1e-7);
  }
}

TEST_F(WinPlatformTest, ToDateRefusesTextsThatAreNoDate) {
  const std::wstring cases[] = {L"2008-13-45 10:00", L"abc", L"", L"2008-07-07 25:00",
                                std::wstring(L"2008-07-07\0junk", 15)};
  for (const std::wstring& text : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_FALSE(platform_.toDate(text).has_value());
  }
}

// The current time with its seconds, as a point in time.
double localNowToTheSecond(SYSTEMTIME& now) {
  GetLocalTime(&now);
  now.wMilliseconds = 0;
  double date = 0;
  SystemTimeToVariantTime(&now, &date);
  return date;
}

TEST_F(WinPlatformTest, NowTextReadsBackToTheSameSecond) {
  // Retried when the clock passes a second boundary between the two readings.
  for (int attempt = 0; attempt < 5; ++attempt) {
    SYSTEMTIME before = {}, after = {};
    const double expected = localNowToTheSecond(before);
    const std::wstring text = platform_.nowText();
    const double check = localNowToTheSecond(after);
    if (check != expected) continue;
    const std::optional<double> back = platform_.toDate(text);
    ASSERT_TRUE(back.has_value()) << testing::PrintToString(text);
    EXPECT_NEAR(*back, expected, kOneSecond / 10) << testing::PrintToString(text);
    return;
  }
  FAIL() << "the clock never stayed within one second";
}

// nowText must read back whichever locale the user runs: the same text under the date
// conversion of several locales with different date orders and separators.
TEST_F(WinPlatformTest, NowTextReadsBackUnderOtherLocales) {
  const LCID locales[] = {
      MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT),
      MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), SORT_DEFAULT),
      MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT),
      MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), SORT_DEFAULT),
      MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), SORT_DEFAULT),
      MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT),
      MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT),
  };
  SYSTEMTIME now = {};
  const double expected = localNowToTheSecond(now);
  const std::wstring text = platform_.nowText();
  std::wstring input = text;  // some SDK headers declare the text parameter non-const
  for (const LCID lcid : locales) {
    SCOPED_TRACE(testing::Message() << "locale " << lcid << ", text "
                                    << testing::PrintToString(text));
    DATE back = 0;
    ASSERT_EQ(VarDateFromStr(input.data(), lcid, 0, &back), S_OK);
    EXPECT_NEAR(back, expected, 1.5 * kOneSecond);
  }
}

TEST_F(WinPlatformTest, PathExistsSeesFilesAndFolders) {
  const std::wstring file = folder_.file(L"file.txt");
  writeBytes(file, "x");
  const std::wstring sub = folder_.file(L"子目录");
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring driveRoot = std::wstring(windows).substr(0, 3);  // e.g. "C:\"

  struct Case {
    std::wstring path;
    bool exists;
  };
  const Case cases[] = {
      {file, true},
      {sub, true},
      {sub + L"\\", true},
      {driveRoot, true},
      {folder_.file(L"missing"), false},
      {folder_.file(L"missing\\deeper"), false},
      {file + L"\\", false},
      {folder_.file(L"*"), false},
      {L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path));
    EXPECT_EQ(platform_.pathExists(c.path), c.exists);
  }
}

TEST_F(WinPlatformTest, CreateFolderMakesOneLevel) {
  const std::wstring created = folder_.file(L"本地补丁");
  EXPECT_EQ(platform_.createFolder(created), 0u);
  EXPECT_TRUE(platform_.pathExists(created));
  const DWORD attributes = GetFileAttributesW(created.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  EXPECT_EQ(platform_.createFolder(created), static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));
}

TEST_F(WinPlatformTest, CreateFolderWithoutParentGivesTheErrorCode) {
  const std::wstring parent = folder_.file(L"missing parent");
  const std::wstring child = parent + L"\\child";
  EXPECT_EQ(platform_.createFolder(child), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(platform_.pathExists(parent));
  EXPECT_FALSE(platform_.pathExists(child));
}

// populateValue tries an empty local directory too; it must come back as a failure.
TEST_F(WinPlatformTest, CreateFolderRefusesPathsThatNameNoFolder) {
  for (const std::wstring& path : {std::wstring(), folder_.file(L"bad<name>"),
                                  std::wstring(L"C:\\x\0y", 5)}) {
    SCOPED_TRACE(testing::PrintToString(path));
    EXPECT_NE(platform_.createFolder(path), 0u);
  }
  EXPECT_FALSE(platform_.pathExists(folder_.file(L"bad<name>")));
  EXPECT_FALSE(platform_.pathExists(L"C:\\x"));
}

TEST_F(WinPlatformTest, ToLowerLowersTheWholeText) {
  struct Case {
    std::wstring text;
    std::wstring lower;
  };
  const Case cases[] = {
      {L"Tester", L"tester"},
      {L"COMPILERUSER", L"compileruser"},
      {L"already lower", L"already lower"},
      {L"ÄÖÜ Élan", L"äöü élan"},
      {L"ПРИВЕТ", L"привет"},
      {L"ΑΒΓ", L"αβγ"},
      {L"用户Zhang", L"用户zhang"},
      {L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(platform_.toLower(c.text), c.lower);
  }
}

}  // namespace
