// The usage and the user's guides against the program: every option the parser knows and every
// exit status that `OstrabelCli.exe --help` prints is explained in the usage and in both guides,
// and every text the program can show in a box, and every reason of the unprocessed list, is in
// both guides' lists of them. The options come from the parser and the statuses from the usage
// text itself, so that a new one is caught at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/options.h"
#include "engine/texts.h"
#include "standin/text.h"
#include "vss/com/texts.h"

namespace {

using standin::text::narrow;

struct Guide {
  const char* file;
  // The headings of the sections the test reads, as the guide spells them.
  const char* boxes;
  const char* reasons;
  const char* exitStatus;
};
const Guide kGuides[] = {
    {"docs/user-guide.md", "## Every box the program shows", "## The unprocessed list",
     "### Exit status"},
    {"docs/用户指南.md", "## 程序会弹出的提示框", "## 未处理文件", "### 退出状态"},
};

std::string readSource(const std::string& relative) {
  std::ifstream in(std::string(OSTRABEL_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The text from the line `heading` up to the next heading of the same or a higher level; empty
// when the guide has no such heading.
std::string section(const std::string& guide, const std::string& heading) {
  const std::size_t at = guide.find("\n" + heading);
  if (at == std::string::npos) return {};
  const std::string level = heading.substr(0, heading.find(' ') + 1);
  std::size_t end = at + 1;
  while (true) {
    end = guide.find("\n#", end + 1);
    if (end == std::string::npos) return guide.substr(at);
    const std::size_t hashes = guide.find_first_not_of('#', end + 1) - (end + 1);
    if (hashes <= level.size() - 1) return guide.substr(at, end - at);
  }
}

// True when `text` holds the option `name` as a word of its own ("--end", not "--end-label").
bool namesOption(const std::string& text, const std::string& name) {
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const std::size_t after = at + name.size();
    const bool wordEnds =
        after == text.size() || !(std::isalnum(static_cast<unsigned char>(text[after])) ||
                                  text[after] == '-' || text[after] == '_');
    const bool wordStarts = at == 0 || text[at - 1] != '-';
    if (wordEnds && wordStarts) return true;
  }
  return false;
}

// A text as the guides quote it: without the blanks and line ends around it.
std::string asQuoted(std::wstring_view text) {
  const std::size_t begin = text.find_first_not_of(L" \r\n");
  const std::size_t end = text.find_last_not_of(L" \r\n");
  if (begin == std::wstring_view::npos) return {};
  return narrow(text.substr(begin, end - begin + 1));
}

// Each text of engine/texts.h by name: the ones a user can meet in a box (its text or its title),
// the reasons of the unprocessed list, and (by name only) the ones shown elsewhere: captions,
// menus, the status bar, list lines. The header's constants are read from its source, so that a
// new text must be sorted here before the tests pass.
struct NamedText {
  const char* name;
  const wchar_t* text;
};
#define TEXT(name) \
  { #name, engine::texts::name }
const NamedText kInBoxes[] = {
    TEXT(kHostRequired), TEXT(kProjectRequired), TEXT(kRangeRequired),  TEXT(kStartBadFormat),
    TEXT(kEndBadFormat), TEXT(kUserRequired),    TEXT(kPasswdRequired), TEXT(kNoticeTitle),
    TEXT(kAppTitle),     TEXT(kStartAfterEnd),   TEXT(kConfirmLongRun), TEXT(kUnexpectedFailure),
    TEXT(kAboutTitle),   TEXT(kAboutVerse),      TEXT(kAboutAgain),     TEXT(kQuitWhileRunning),
    TEXT(kCopied),       TEXT(kCopyFailed),
};
const NamedText kReasons[] = {TEXT(kDamaged), TEXT(kSharedThenDeleted), TEXT(kFetchedThenDeleted),
                              TEXT(kUnknownError)};
#undef TEXT
// clang-format off
const char* const kElsewhere[] = {
    "kPatching", "kPatched", "kFinished", "kRunStopped", "kBuildUser", "kShareComment",
    "kWindowCaption", "kMenuFile", "kMenuCopyProcessed", "kMenuCopyUnprocessed", "kMenuHelp",
    "kMenuAbout", "kChooseFolder", "kIniFilter", "kLabel1", "kSampleHost", "kChoose", "kLabel8",
    "kLabel2", "kSampleProject", "kLabel9", "kFrame4", "kOpShare", "kSamplePatch", "kLabel10",
    "kOpLocal", "kSampleLocalDir", "kLabel17", "kView", "kLabel4", "kSampleStartDate", "kLabel7",
    "kSampleEndDate", "kLabel11", "kFrame3", "kLabel16", "kLabel5", "kPatch", "kLabel6",
    "kChkIgnoreBuildUser", "kFrame1", "kFrame2", "kLabel13", "kLabel14", "kLabel12", "kLabel15",
};
// clang-format on

TEST(Guides, EveryTextOfTheProgramIsSortedIntoInABoxOrElsewhere) {
  std::set<std::string> sorted(std::begin(kElsewhere), std::end(kElsewhere));
  for (const NamedText& text : kInBoxes) sorted.insert(text.name);
  for (const NamedText& text : kReasons) sorted.insert(text.name);
  const std::string header = readSource("engine/texts.h");
  const std::regex constant("inline constexpr const wchar_t\\* (k[A-Za-z0-9]+)");
  std::size_t declared = 0;
  for (std::sregex_iterator it(header.begin(), header.end(), constant), end; it != end; ++it) {
    ++declared;
    EXPECT_TRUE(sorted.count((*it)[1])) << (*it)[1] << ": shown in a box (kInBoxes, and in the "
                                        << "guides' lists of boxes) or elsewhere (kElsewhere)?";
  }
  EXPECT_GT(declared, 40u);
}

// The usage names every option of the parser as an option of its own, and the password
// variable, and ends every line in CR LF. Each guide explains every option and every exit status
// of the usage, and lists every box text and every reason of the program.
TEST(Guides, ExplainEveryOptionExitStatusBoxTextAndReasonOfTheProgram) {
  const std::string usage = narrow(console::usageText());
  for (const std::wstring& option : console::optionNames()) {
    EXPECT_TRUE(namesOption(usage, narrow(option))) << "the usage does not name " << narrow(option);
  }
  EXPECT_NE(usage.find(narrow(console::kPasswordVariable)), std::string::npos);
  EXPECT_FALSE(std::regex_search(usage, std::regex("(^|[^\r])\n")));
  EXPECT_TRUE(usage.ends_with("\r\n"));
  // The statuses: the lines below the usage's heading "Exit status" that begin with a number.
  std::vector<std::string> statuses;
  const std::string rest = usage.substr(std::min(usage.find("Exit status"), usage.size()));
  const std::regex statusLine("\n +([0-9]+) ");
  for (std::sregex_iterator it(rest.begin(), rest.end(), statusLine), end; it != end; ++it)
    statuses.push_back((*it)[1]);
  EXPECT_EQ((std::vector<std::string>{"0", "1", "2", "3"}), statuses);

  std::vector<std::string> boxTexts;
  for (const NamedText& box : kInBoxes) boxTexts.push_back(asQuoted(box.text));
  // The COM client's own texts, shown in the box titled "Ostrabel" when the library gives none.
  const std::wstring notInstalled = vss::com::texts::kNotInstalled;
  const std::size_t firstBreak = notInstalled.find(L"\r\n");
  boxTexts.push_back(asQuoted(notInstalled.substr(0, firstBreak)));
  boxTexts.push_back(asQuoted(notInstalled.substr(
      firstBreak + 2, notInstalled.find(L"\r\n", firstBreak + 2) - firstBreak - 2)));
  for (const wchar_t* text : {vss::com::texts::kNotStarted, vss::com::texts::kNoMemberChinese,
                              vss::com::texts::kUnexpectedError}) {
    boxTexts.push_back(asQuoted(text));
  }

  for (const Guide& guide : kGuides) {
    const std::string text = readSource(guide.file);
    ASSERT_FALSE(text.empty()) << guide.file;
    for (const std::wstring& option : console::optionNames()) {
      EXPECT_TRUE(namesOption(text, narrow(option)))
          << guide.file << " does not explain " << narrow(option);
    }
    const std::string table = section(text, guide.exitStatus);
    ASSERT_FALSE(table.empty()) << guide.file << " has no section " << guide.exitStatus;
    for (const std::string& status : statuses) {
      EXPECT_NE(table.find("\n| " + status + " |"), std::string::npos)
          << guide.file << " does not explain exit status " << status;
    }
    const std::string boxes = section(text, guide.boxes);
    ASSERT_FALSE(boxes.empty()) << guide.file << " has no section " << guide.boxes;
    for (const std::string& box : boxTexts) {
      EXPECT_NE(boxes.find(box), std::string::npos)
          << guide.file << ", " << guide.boxes << ": no " << box;
    }
    const std::string reasons = section(text, guide.reasons);
    ASSERT_FALSE(reasons.empty()) << guide.file << " has no section " << guide.reasons;
    for (const NamedText& reason : kReasons) {
      EXPECT_NE(reasons.find(asQuoted(reason.text)), std::string::npos)
          << guide.file << ", " << guide.reasons << ": no " << asQuoted(reason.text);
    }
  }
}

}  // namespace
