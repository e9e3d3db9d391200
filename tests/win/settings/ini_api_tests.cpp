// IniApi on the real profile functions: the INI path, reads and writes in the ANSI code page,
// the 254-byte cut and the failure texts.
#include "settings/ini_api.h"
#include "settings/profile_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win/settings/temp_folder.h"

namespace {

using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

const std::wstring kNoIniFile = L"没有设置INI文件";
const std::wstring kWriteFailed = L"写入失败: ";

class IniApiTest : public ::testing::Test {
 protected:
  TempFolder folder_{L"ostrabel-ini-api"};
  IniApi ini_;
};

// The Chinese cases need the users' ANSI code page, 936, which Wine takes from LANG=zh_CN.UTF-8.
#define SKIP_UNLESS_CODE_PAGE_936() \
  if (GetACP() != 936) GTEST_SKIP() << "needs the ANSI code page 936 (run with LANG=zh_CN.UTF-8)"

TEST_F(IniApiTest, NoPathOrBlankPathRefusesReadsAndWrites) {
  for (const std::wstring path : {L"", L" ", L"   "}) {
    SCOPED_TRACE(testing::Message() << "path of " << path.size() << " blanks");
    IniApi ini;
    EXPECT_EQ(ini.lastErrorMsg(), L"");
    ini.setIniFileName(path);
    EXPECT_EQ(ini.readString(L"cfg", L"host"), L"");
    EXPECT_EQ(ini.lastErrorMsg(), kNoIniFile);

    ini.setLastErrorMsg(L"");
    EXPECT_FALSE(ini.writeString(L"cfg", L"host", L"value"));
    EXPECT_EQ(ini.lastErrorMsg(), kNoIniFile);
  }
}

TEST_F(IniApiTest, SurroundingBlanksOfThePathAreIgnored) {
  const std::wstring file = folder_.file(L"trimmed.ini");
  ini_.setIniFileName(L"  " + file + L"   ");
  ASSERT_TRUE(ini_.writeString(L"cfg", L"host", L"h"));
  EXPECT_EQ(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(readBytes(file), "[cfg]\r\nhost=h\r\n");
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"h");
}

TEST_F(IniApiTest, MissingFileSectionOrKeyReadsEmptyAndKeepsLastError) {
  const std::wstring missing = folder_.file(L"missing.ini");
  ini_.setIniFileName(missing);
  ini_.setLastErrorMsg(L"earlier failure");
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"");
  EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES) << "a read created the file";

  const std::wstring present = folder_.file(L"present.ini");
  writeBytes(present, "[cfg]\r\nhost=h\r\n");
  ini_.setIniFileName(present);
  EXPECT_EQ(ini_.readString(L"other", L"host"), L"");
  EXPECT_EQ(ini_.readString(L"cfg", L"project"), L"");
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"h");
  EXPECT_EQ(ini_.lastErrorMsg(), L"earlier failure");
}

TEST_F(IniApiTest, FirstWriteCreatesFileAndSection) {
  const std::wstring file = folder_.file(L"fresh.ini");
  ini_.setIniFileName(file);
  ASSERT_TRUE(ini_.writeString(L"cfg", L"host", L"C:\\vss\\srcsafe.ini"));
  EXPECT_EQ(readBytes(file), "[cfg]\r\nhost=C:\\vss\\srcsafe.ini\r\n");
  EXPECT_EQ(ini_.lastErrorMsg(), L"");
}

TEST_F(IniApiTest, WritingAnExistingKeyReplacesItsValue) {
  const std::wstring file = folder_.file(L"replace.ini");
  ini_.setIniFileName(file);
  ASSERT_TRUE(ini_.writeString(L"cfg", L"host", L"first"));
  ASSERT_TRUE(ini_.writeString(L"cfg", L"user", L"u"));
  ASSERT_TRUE(ini_.writeString(L"cfg", L"host", L"second"));
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"second");
  EXPECT_EQ(readBytes(file), "[cfg]\r\nhost=second\r\nuser=u\r\n");
}

// Values the profile functions would alter if stored bare (surrounding blanks are stripped,
// one pair of enclosing quotes removed) come back exactly as written, like every other value.
TEST_F(IniApiTest, ValuesReadBackExactlyAsWritten) {
  ini_.setIniFileName(folder_.file(L"exact.ini"));
  const std::vector<std::wstring> values = {
      L"", L"plain", L"$/path/to/your/project", L"a=b;c#d[e]", L"   ", L" lead", L"trail ",
      L"\tTab", L"\"quoted\"", L"'single'", L"\"", L"\"\"", L"\"open", L"close'", L"'mixed\"",
      L"\" spaced \"", L"x \"in\" y"};
  for (const std::wstring& value : values) {
    SCOPED_TRACE(testing::Message() << "value [" << testing::PrintToString(value) << "]");
    ASSERT_TRUE(ini_.writeString(L"cfg", L"key", value));
    EXPECT_EQ(ini_.readString(L"cfg", L"key"), value);
  }
}

TEST_F(IniApiTest, PlainValuesAreStoredUnquoted) {
  const std::wstring file = folder_.file(L"plain.ini");
  ini_.setIniFileName(file);
  ASSERT_TRUE(ini_.writeString(L"cfg", L"passwd", L"s3cr3t!"));
  ASSERT_TRUE(ini_.writeString(L"cfg", L"endDate", L""));
  EXPECT_EQ(readBytes(file), "[cfg]\r\npasswd=s3cr3t!\r\nendDate=\r\n");
}

TEST_F(IniApiTest, ChineseTextRoundTripsInCodePage936) {
  SKIP_UNLESS_CODE_PAGE_936();
  const std::wstring file = folder_.file(L"chinese.ini");
  ini_.setIniFileName(file);
  const std::vector<std::wstring> values = {L"中文", L"$/项目/补丁", L"D:\\补丁\\目录",
                                            L"2008-07-07 17:12", L"用户a1"};
  for (const std::wstring& value : values) {
    SCOPED_TRACE(testing::Message() << "value " << testing::PrintToString(value));
    ASSERT_TRUE(ini_.writeString(L"cfg", L"text", value));
    const std::wstring back = ini_.readString(L"cfg", L"text");
    EXPECT_EQ(back.size(), value.size());
    EXPECT_EQ(back, value);
  }
  // The file holds the text in the ANSI code page (GBK), not in UTF-8 or UTF-16.
  ASSERT_TRUE(ini_.writeString(L"cfg", L"text", L"中文"));
  EXPECT_EQ(readBytes(file), "[cfg]\r\ntext=\xD6\xD0\xCE\xC4\r\n");
}

TEST_F(IniApiTest, ChineseSectionAndKeyNamesWork) {
  SKIP_UNLESS_CODE_PAGE_936();
  ini_.setIniFileName(folder_.file(L"names.ini"));
  ASSERT_TRUE(ini_.writeString(L"设置", L"项目", L"值"));
  EXPECT_EQ(ini_.readString(L"设置", L"项目"), L"值");
  EXPECT_EQ(ini_.readString(L"设置", L"补丁"), L"");
}

TEST_F(IniApiTest, LongValuesAreCutTo254Bytes) {
  ini_.setIniFileName(folder_.file(L"long.ini"));
  struct Case {
    size_t written;
    size_t read;
  };
  for (const Case c : {Case{253, 253}, Case{254, 254}, Case{255, 254}, Case{300, 254}}) {
    SCOPED_TRACE(testing::Message() << c.written << " bytes written");
    std::wstring value;
    for (size_t i = 0; i < c.written; ++i) value += static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_TRUE(ini_.writeString(L"cfg", L"long", value));
    EXPECT_EQ(ini_.readString(L"cfg", L"long"), value.substr(0, c.read));
  }
}

// Where the cut falls between the two bytes of a character, that character is dropped; where
// it falls after a whole one, the character stays.
TEST_F(IniApiTest, CutNeverEndsInHalfADoubleByteCharacter) {
  SKIP_UNLESS_CODE_PAGE_936();
  ini_.setIniFileName(folder_.file(L"cut.ini"));
  // Single-byte characters before the Chinese text: with an odd count the 254th byte is the
  // first half of a character, with an even count the cut falls between two characters.
  for (const size_t asciiBefore : {253u, 252u, 251u, 1u, 0u}) {
    std::wstring value(asciiBefore, L'a');
    for (int i = 0; i < 200; ++i) value += (i % 2 == 0) ? L"中" : L"文";
    SCOPED_TRACE(testing::Message() << asciiBefore << " single-byte characters first");
    ASSERT_TRUE(ini_.writeString(L"cfg", L"cut", value));
    const std::wstring back = ini_.readString(L"cfg", L"cut");
    // Whole characters only: as many as fit into 254 bytes.
    const size_t wholeChinese = (254 - asciiBefore) / 2;
    EXPECT_EQ(back, value.substr(0, asciiBefore + wholeChinese));
    EXPECT_EQ(back.find(L'\0'), std::wstring::npos);
    EXPECT_EQ(back.find(L'?'), std::wstring::npos);
    EXPECT_EQ(back.find(L'\x30FB'), std::wstring::npos);
  }
}

TEST_F(IniApiTest, HandWrittenHalfCharacterAtTheCutIsDropped) {
  SKIP_UNLESS_CODE_PAGE_936();
  const std::wstring file = folder_.file(L"bytes.ini");
  // 253 single bytes and then 中 (D6 D0) as stored by another program.
  writeBytes(file, "[cfg]\r\nv=" + std::string(253, 'b') + "\xD6\xD0\r\n");
  ini_.setIniFileName(file);
  EXPECT_EQ(ini_.readString(L"cfg", L"v"), std::wstring(253, L'b'));
}

// Buffers as other implementations of the profile functions leave them: Windows may cut
// between the two bytes of a character, Wine leaves NULs where a character did not fit.
TEST(ProfileBufferTest, ValueEndsBeforeAnyCutCharacter) {
  SKIP_UNLESS_CODE_PAGE_936();
  struct Case {
    std::string buffer;
    unsigned long reported;
    std::wstring value;
  };
  const std::string a253(253, 'a');
  const Case cases[] = {
      {a253 + "\xD6", 254, std::wstring(253, L'a')},              // lead byte, trail cut off
      {"a\xD6\xD0\xCE", 4, L"a中"},                             // 文 lost its trail byte
      {"\xD6\xD0\xCE\xC4", 4, L"中文"},                         // whole characters stay
      {"a\xCE\xC4\xD6\xD0", 5, L"a文中"},
      {std::string("ab\0\0", 4), 4, L"ab"},                     // NULs inside the length
      {"abc", 0, L""},                                            // nothing reported
      {std::string(300, 'z'), 300, std::wstring(254, L'z')},      // never beyond the buffer
      {"\xB2\xB9\xB6", 3, L"补"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "buffer " << testing::PrintToString(c.buffer));
    std::vector<char> buffer(c.buffer.begin(), c.buffer.end());
    buffer.resize(std::max<size_t>(buffer.size(), 255), '\0');
    EXPECT_EQ(settings::valueFromProfileBuffer(buffer.data(), c.reported, 255), c.value);
  }
}

TEST_F(IniApiTest, FailedWriteKeepsItsTextAfterALaterSuccess) {
  const std::wstring noFolder = folder_.file(L"no such folder\\settings.ini");
  ini_.setIniFileName(noFolder);
  EXPECT_FALSE(ini_.writeString(L"cfg", L"host", L"h"));
  const std::wstring failure = ini_.lastErrorMsg();
  ASSERT_EQ(failure.rfind(kWriteFailed, 0), 0u) << testing::PrintToString(failure);
  const std::wstring code = failure.substr(kWriteFailed.size());
  ASSERT_FALSE(code.empty());
  EXPECT_EQ(code.find_first_not_of(L"0123456789"), std::wstring::npos) << "not a decimal code";
  EXPECT_NE(code, L"0");

  ini_.setIniFileName(folder_.file(L"good.ini"));
  EXPECT_TRUE(ini_.writeString(L"cfg", L"host", L"h"));
  EXPECT_EQ(ini_.lastErrorMsg(), failure);
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"h");
  EXPECT_EQ(ini_.lastErrorMsg(), failure);
}

TEST_F(IniApiTest, WriteToReadOnlyFileReportsAccessDenied) {
  const std::wstring file = folder_.file(L"readonly.ini");
  writeBytes(file, "[cfg]\r\nhost=old\r\n");
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  if (!testing_support::readOnlyIsEnforced(file)) {
    GTEST_SKIP() << "read-only files are writable here (Wine run as root)";
  }
  ini_.setIniFileName(file);
  EXPECT_FALSE(ini_.writeString(L"cfg", L"host", L"new"));
  EXPECT_EQ(ini_.lastErrorMsg(), kWriteFailed + std::to_wstring(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ini_.readString(L"cfg", L"host"), L"old");
  EXPECT_EQ(readBytes(file), "[cfg]\r\nhost=old\r\n");
}

}  // namespace
