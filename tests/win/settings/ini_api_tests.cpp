// IniApi on the real profile functions: the INI path, reads and writes in the ANSI code page, the
// 254-byte cut and the failure texts. (The folder picker: the window's tests.)
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/ini_api.h"
#include "settings/profile_text.h"
#include "tests/temp_folder.h"

namespace {

// The Chinese cases need the users' ANSI code page, 936, which Wine takes from LANG=zh_CN.UTF-8.
#define SKIP_UNLESS_CODE_PAGE_936() \
  if (GetACP() != 936) GTEST_SKIP() << "needs the ANSI code page 936 (run with LANG=zh_CN.UTF-8)"

class IniApiTest : public ::testing::Test {
 protected:
  testing_support::TempFolder folder_{L"ostrabel-ini-api"};
  IniApi ini_;
};

TEST_F(IniApiTest, BlankPathRefusesReadsAndWrites) {
  for (const std::wstring path : {L"", L"   "}) {
    SCOPED_TRACE(testing::Message() << "path of " << path.size() << " blanks");
    IniApi ini;
    ini.setIniFileName(path);
    EXPECT_EQ(ini.readString(L"cfg", L"host"), L"");
    EXPECT_EQ(ini.lastErrorMsg(), L"没有设置INI文件");
    ini.setLastErrorMsg(L"");
    EXPECT_FALSE(ini.writeString(L"cfg", L"host", L"value"));
    EXPECT_EQ(ini.lastErrorMsg(), L"没有设置INI文件");
  }
}

// Section, key and value are held in the ANSI code page (GBK), not in UTF-8 or UTF-16. A value is
// read back as its first 254 bytes. With an odd count of single-byte characters before Chinese
// text the 254th byte is the first half of a character, which is dropped.
TEST_F(IniApiTest, ChineseTextIsHeldInCodePage936AndCutTo254BytesNeverInHalfACharacter) {
  SKIP_UNLESS_CODE_PAGE_936();
  ini_.setIniFileName(folder_.file(L"chinese.ini"));
  ASSERT_TRUE(ini_.writeString(L"设置", L"项目", L"$/项目/补丁 中文"));
  EXPECT_EQ(ini_.readString(L"设置", L"项目"), L"$/项目/补丁 中文");
  EXPECT_EQ(folder_.read(L"chinese.ini"),
            "[\xC9\xE8\xD6\xC3]\r\n\xCF\xEE\xC4\xBF=$/\xCF\xEE\xC4\xBF/\xB2\xB9\xB6\xA1 "
            "\xD6\xD0\xCE\xC4\r\n");
  for (const size_t single : {300u, 255u, 254u, 253u, 252u, 0u}) {
    SCOPED_TRACE(testing::Message() << single << " single-byte characters first");
    std::wstring value;
    for (size_t i = 0; i < single; ++i) value += static_cast<wchar_t>(L'a' + i % 26);
    for (int i = 0; i < 200; ++i) value += (i % 2 == 0) ? L"中" : L"文";
    ASSERT_TRUE(ini_.writeString(L"cfg", L"long", value));
    const size_t kept = std::min<size_t>(single, 254) + (254 - std::min<size_t>(single, 254)) / 2;
    EXPECT_EQ(ini_.readString(L"cfg", L"long"), value.substr(0, kept));
  }
}

// A read that fills the buffer (254 bytes come back) may have lost the rest of the value, and says
// so; one byte less is a whole value. Also through the wide functions that a path outside the ANSI
// code page takes.
TEST_F(IniApiTest, AReadThatFillsTheBufferSaysSo) {
  const std::vector<std::pair<std::wstring, bool>> cases = {
      {L"", false},
      {std::wstring(253, L'a'), false},
      {std::wstring(254, L'a'), true},
      {std::wstring(300, L'a'), true},
  };
  for (const std::wstring folder : {L"ascii", L"\u4e2d\uD55C"}) {
    CreateDirectoryW(folder_.file(folder).c_str(), nullptr);
    ini_.setIniFileName(folder_.file(folder + L"\\fill.ini"));
    for (const auto& [value, filled] : cases) {
      SCOPED_TRACE(testing::Message() << value.size() << " bytes, folder " << folder.size());
      ASSERT_TRUE(ini_.writeString(L"cfg", L"value", value));
      ini_.readString(L"cfg", L"value");
      EXPECT_EQ(ini_.lastReadFilled(), filled);
    }
    ini_.readString(L"cfg", L"missing");
    EXPECT_FALSE(ini_.lastReadFilled());
  }
  if (GetACP() == 936) {
    // 253 bytes and a Chinese character: the read gives back 253 bytes, but the buffer was full.
    ini_.setIniFileName(folder_.file(L"chinese.ini"));
    ASSERT_TRUE(ini_.writeString(L"cfg", L"value", std::wstring(253, L'a') + L"中"));
    EXPECT_EQ(ini_.readString(L"cfg", L"value"), std::wstring(253, L'a'));
    EXPECT_TRUE(ini_.lastReadFilled());
  }
}

// Buffers as other implementations of the profile functions leave them: Windows may cut
// between the two bytes of a character, Wine leaves NULs where a character did not fit.
TEST(ProfileBufferTest, ValueEndsBeforeAnyCutCharacter) {
  SKIP_UNLESS_CODE_PAGE_936();
  const auto value = [](std::string bytes, unsigned long reported) {
    bytes.resize(std::max<size_t>(bytes.size(), 255), '\0');
    return settings::valueFromProfileBuffer(bytes.data(), reported, 255);
  };
  EXPECT_EQ(value(std::string(253, 'a') + "\xD6", 254), std::wstring(253, L'a'));  // trail cut off
  EXPECT_EQ(value("a\xD6\xD0\xCE", 4), L"a中");  // 文 lost its trail byte
  EXPECT_EQ(value(std::string("ab\0\0", 4), 4), L"ab");
  EXPECT_EQ(value(std::string(300, 'z'), 300), std::wstring(254, L'z'));  // never beyond the buffer
}

// A failure text stays through a read of a missing file, which reads empty and creates
// nothing, and through a later first write, which creates file and section at the path
// taken without its surrounding blanks.
TEST_F(IniApiTest, FailedWriteKeepsItsTextAfterALaterSuccess) {
  ini_.setIniFileName(folder_.file(L"no such folder\\settings.ini"));
  EXPECT_FALSE(ini_.writeString(L"cfg", L"host", L"h"));
  const std::wstring failure = L"写入失败: " + std::to_wstring(ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ini_.lastErrorMsg(), failure);
  const std::wstring good = folder_.file(L"good.ini");
  ini_.setIniFileName(L"  " + good + L"   ");
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"");
  EXPECT_EQ(GetFileAttributesW(good.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ini_.writeString(L"cfg", L"host", L"C:\\vss\\srcsafe.ini"));
  EXPECT_EQ(folder_.read(L"good.ini"), "[cfg]\r\nhost=C:\\vss\\srcsafe.ini\r\n");
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"C:\\vss\\srcsafe.ini");
  EXPECT_EQ(ini_.lastErrorMsg(), failure);
}

// No length breaks the profile functions: a value of 100,000 characters is written cut to 8,191
// bytes (never in half a character), reads back as its first 254 and leaves the keys after it.
TEST_F(IniApiTest, AHugeValueIsWrittenCutAndTheFileStaysReadable) {
  ini_.setIniFileName(folder_.file(L"huge.ini"));
  EXPECT_TRUE(ini_.writeString(L"cfg", L"host", std::wstring(100000, L'h')));
  EXPECT_TRUE(ini_.writeString(L"cfg", L"user", L"u"));
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), std::wstring(254, L'h'));
  EXPECT_EQ(ini_.readString(L"cfg", L"user"), L"u");
  EXPECT_EQ(folder_.read(L"huge.ini"),
            "[cfg]\r\nhost=" + std::string(8191, 'h') + "\r\nuser=u\r\n");
  if (GetACP() == 936) {
    EXPECT_TRUE(ini_.writeString(L"cfg", L"host", L"a" + std::wstring(50000, L'中')));
    EXPECT_EQ(folder_.read(L"huge.ini").size(),
              std::string("[cfg]\r\nhost=a\r\nuser=u\r\n").size() + 8190);
  }
}

// A program folder whose name the ANSI code page cannot hold (a Korean name on a Chinese system):
// the settings file is written and read all the same, in the same format, with its values in the
// ANSI code page and the same 254-byte cut.
TEST(IniApiFolderTest, AFolderNameOutsideTheAnsiCodePageKeepsTheFileAndItsFormat) {
  std::wstring name;
  for (const wchar_t* candidate : {L"한국어", L"ภาษาไทย", L"中文"}) {
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, candidate, -1, nullptr, 0, nullptr, &lost);
    if (lost) {
      name = candidate;
      break;
    }
  }
  ASSERT_FALSE(name.empty()) << "no folder name outside code page " << GetACP();
  testing_support::TempFolder folder{L"ostrabel-" + name};
  IniApi ini;
  ini.setIniFileName(folder.file(L"Ostrabel.ini"));
  ASSERT_TRUE(ini.writeString(L"cfg", L"host", L"C:\\vss\\srcsafe.ini"));
  ASSERT_TRUE(ini.writeString(L"cfg", L"long", std::wstring(300, L'x')));
  ASSERT_TRUE(ini.writeString(L"cfg", L"blanks", L"  two  "));
  EXPECT_EQ(ini.readString(L"cfg", L"host"), L"C:\\vss\\srcsafe.ini");
  EXPECT_EQ(ini.readString(L"cfg", L"long"), std::wstring(254, L'x'));
  EXPECT_EQ(ini.readString(L"cfg", L"blanks"), L"  two  ");
  EXPECT_EQ(ini.readString(L"cfg", L"missing"), L"");
  EXPECT_EQ(folder.read(L"Ostrabel.ini"), "[cfg]\r\nhost=C:\\vss\\srcsafe.ini\r\nlong=" +
                                              std::string(300, 'x') + "\r\nblanks=\"  two  \"\r\n");
  if (GetACP() == 936) {
    ASSERT_TRUE(ini.writeString(L"cfg", L"project", L"$/项目"));
    EXPECT_EQ(ini.readString(L"cfg", L"project"), L"$/项目");
    EXPECT_NE(folder.read(L"Ostrabel.ini").find("project=$/\xCF\xEE\xC4\xBF\r\n"),
              std::string::npos);
  }
  EXPECT_EQ(ini.lastErrorMsg(), L"");
}

}  // namespace
