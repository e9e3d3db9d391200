// The reader of real databases in pieces that need no sample database: its CRC and checksums,
// the records of a file, reverse deltas, ANSI texts, password hashes, the library's dates and
// the quoting of any byte in dumps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "standin/dates.h"
#include "standin/store.h"
#include "standin/text.h"
#include "tests/native/standin/samples.h"
#include "vssdb/database.h"
#include "vssdb/format.h"
#include "vssdb/text.h"
#include "vssdb/times.h"

namespace {

using namespace standin;

// A record as SourceSafe writes it: length, signature, checksum (0 when `checksum` is false).
std::string record(std::string_view signature, std::string_view body, bool checksum = true) {
  std::string out;
  const auto length = static_cast<std::uint32_t>(body.size());
  for (int k = 0; k < 4; ++k) out += static_cast<char>(length >> (8 * k));
  out += signature;
  const std::uint16_t sum = checksum ? vssdb::recordChecksum(body) : 0;
  out += static_cast<char>(sum & 0xFF);
  out += static_cast<char>(sum >> 8);
  return out + std::string(body);
}

TEST(VssdbFormat, CrcIsTheReflectedPolynomialFromZeroWithNothingInverted) {
  // Check values of an independent implementation (zlib: crc32(data, ~0) ^ ~0).
  EXPECT_EQ(vssdb::crc32("123456789"), 0x2DFD2D88u);
  EXPECT_EQ(vssdb::crc32(""), 0u);
  EXPECT_EQ(vssdb::recordChecksum("123456789"), 0x2DFD ^ 0x2D88);
  // The zlib CRC of the stand-in's journal lines is unchanged by the split.
  EXPECT_EQ(text::crc32("123456789"), 0xCBF43926u);
}

TEST(VssdbFormat, RecordsAreCheckedOneByOneAndCommentsCarryNoChecksum) {
  const std::string file = "HEADER" + record("DH", "abc") +
                           record("MC", std::string("x\0", 2), false) + record("EL", "");
  auto records = vssdb::readRecords(file, 6, "f");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].signature, "MC");
  EXPECT_EQ(records[1].offset, 6u + 11u);
  EXPECT_EQ(&vssdb::recordAt(records, 17, "MC", "f"), &records[1]);

  struct Case {
    const char* what;
    std::string file;
    const char* message;
  };
  std::string flipped = file;
  flipped[6 + 8 + 1] ^= 0x20;  // a byte of the first body
  std::string unsummed = "HEADER" + record("EL", "abc", false);
  std::string longer = file;
  longer[6 + 11 + 10] = 1;  // the last record claims a byte the file lacks
  for (const Case& c :
       {Case{"a flipped byte", flipped, "f, record at byte 6 (DH): it fails its checksum"},
        Case{"a record without checksum that needs one", unsummed,
             "f, record at byte 6 (EL): it fails its checksum"},
        Case{"a body past the end", longer, "runs past the file's end"},
        Case{"a cut header", file.substr(0, 6 + 5), "the file ends inside its header"}}) {
    try {
      vssdb::readRecords(c.file, 6, "f");
      ADD_FAILURE() << c.what << ": read";
    } catch (const vssdb::Damaged& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.what << ": " << e.what();
    }
  }
  // Read as the library reads a project's entries or um.dat: up to the first that fails.
  std::string why;
  std::string lastFails = file;
  lastFails.back() ^= 0x01;  // the empty last record's checksum
  EXPECT_EQ(vssdb::readRecords(lastFails, 6, "f", &why).size(), 2u);
  EXPECT_EQ(why, "f, record at byte 27 (EL): it fails its checksum");
  EXPECT_THROW(vssdb::recordAt(records, 17, "EL", "f"), vssdb::Damaged);
  EXPECT_THROW(vssdb::recordAt(records, 18, "MC", "f"), vssdb::Damaged);
}

TEST(VssdbFormat, FieldsOutsideTheirRecordAreDamage) {
  const std::string body("\x01\x02\x03\x04\x05", 5);
  vssdb::Fields f(body, "rec");
  EXPECT_EQ(f.u16(0), 0x0201);
  EXPECT_EQ(f.u32(1), 0x05040302u);
  EXPECT_EQ(f.i16(3), static_cast<std::int16_t>(0x0504));
  EXPECT_THROW(f.u32(2), vssdb::Damaged);
  EXPECT_THROW(f.bytes(6, 0), vssdb::Damaged);
  EXPECT_EQ(vssdb::Fields(std::string("ab\0cd", 5), "t").text(0, 5), "ab");
  EXPECT_EQ(vssdb::Fields("abcd", "t").text(1, 3), "bcd");
}

TEST(VssdbFormat, AnsiTextsAreCodePage936) {
  // "花城" and "加密解密工具.exe" as GBK writes them.
  EXPECT_EQ(vssdb::decodeAnsi("\xBB\xA8\xB3\xC7"), "花城");
  EXPECT_EQ(vssdb::decodeAnsi("\xBC\xD3\xC3\xDC\xBD\xE2\xC3\xDC\xB9\xA4\xBE\xDF.exe"),
            "加密解密工具.exe");
  EXPECT_EQ(vssdb::decodeAnsi("plain"), "plain");
  // A lead byte without its trail byte is no character; what follows still decodes.
  EXPECT_EQ(vssdb::decodeAnsi("\xBB \xB3\xC7"), "\xEF\xBF\xBD 城");
  EXPECT_EQ(vssdb::decodeAnsi("\xB3\xC7\xBB"), "城\xEF\xBF\xBD");
  EXPECT_EQ(vssdb::encodeAnsi("花城CRM"),
            "\xBB\xA8\xB3\xC7"
            "CRM");
  EXPECT_EQ(vssdb::encodeAnsi("ก€"), "?\x80");  // no Thai in code page 936
}

TEST(VssdbFormat, PasswordHashesAreThoseUmDatKeeps) {
  const auto hash = &vssdb::Database::passwordHash;
  // um.dat keeps 0x6E90 for a user without a password (every sample's Admin).
  EXPECT_EQ(hash(""), 0x6E90);
  // Letter case does not count; only the first 15 bytes do.
  EXPECT_EQ(hash("secret"), hash("SECRET"));
  EXPECT_NE(hash("secret"), hash("secreu"));
  EXPECT_EQ(hash("123456789012345"), hash("123456789012345x"));
  EXPECT_NE(hash("12345678901234"), hash("12345678901234x"));
  // The weights: "A" in front of the filler, each byte XOR 0x96 times its position.
  std::uint16_t sum = ('A' ^ 0x96);
  const std::string filler = "BrianDavidHarry";
  for (std::size_t i = 0; i < 14; ++i)
    sum = static_cast<std::uint16_t>(sum + (i + 2) * (filler[i] ^ 0x96));
  EXPECT_EQ(hash("a"), sum);
  // Bytes above 0x7F count sign-extended.
  EXPECT_EQ(static_cast<std::uint16_t>(hash("\xC0") - hash("\x40")),
            static_cast<std::uint16_t>((static_cast<signed char>('\xC0') ^ 0x96) - (0x40 ^ 0x96)));
}

std::int64_t stored(const char* wall) {
  // Seconds since 1970-01-01 of a wall clock text, as a log record stores it.
  return *parseSeconds(wall) - std::int64_t{25569} * 86400;
}

// Measured on SourceSafe 6.0d: the stored wall clock whatever the machine's zone (and whatever
// srcsafe.ini's [TimeZone] says: the library takes no settings here), an odd second one second
// earlier.
TEST(VssdbTimes, DatesAreTheStoredWallClockInStepsOfTwoSeconds) {
  for (const char* machine : {"UTC0", "IST-5:30", "EST5"}) {
    samples::LocalZone zone(machine);
    for (const auto& [wall, shown] : {std::pair{"2023-05-05 11:34:15", "2023-05-05 11:34:14"},
                                      {"2023-05-05 11:34:14", "2023-05-05 11:34:14"},
                                      {"2009-06-18 22:49:59", "2009-06-18 22:49:58"},
                                      {"1970-01-01 00:00:01", "1970-01-01 00:00:00"},
                                      {"1969-12-31 23:59:59", "1969-12-31 23:59:58"}})
      EXPECT_EQ(formatDateTime(vssdb::libraryDate(stored(wall))), shown) << machine << " " << wall;
  }
}

TEST(VssdbQuoting, EveryByteRoundTripsThroughDumpAndScriptQuoting) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  all += "花城\xEF\xBF\xBD";  // UTF-8 characters stay as they are, U+FFFD too
  const std::string q = text::quoted(all);
  for (char c : q)
    EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') << q;
  EXPECT_NE(q.find("\\x00\\x01"), std::string::npos);
  EXPECT_NE(q.find("花城\xEF\xBF\xBD\""), std::string::npos);
  auto tokens = text::tokenize("content " + q);
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[1].text, all);
  // Texts of the stand-in's own stores are quoted as before.
  EXPECT_EQ(text::quoted("a\"b\\c\td\ne\rf 字"), "\"a\\\"b\\\\c\\td\\ne\\rf 字\"");
  EXPECT_THROW(text::tokenize("\"\\x4\""), ToolError);
  EXPECT_THROW(text::tokenize("\"\\xG0\""), ToolError);
}

}  // namespace
