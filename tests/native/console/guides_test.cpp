// The usage and the user's guides against the program: every option the parser knows and every
// exit status that `OstrabelCli.exe --help` prints is explained in the usage and in both guides,
// and every text the program can show in a box, and every reason of the unprocessed list, is in
// both guides' lists of them. The options come from the parser and the statuses from the usage
// text itself, so that a new one is caught at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
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
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The text from the line `heading` up to the next heading of the same or a higher level; empty
// when the guide has no such heading.
std::string section(const std::string& guide, const std::string& heading) {
  const std::size_t at = guide.find("\n" + heading);
  if (at == std::string::npos) return {};
  const std::string rest = guide.substr(at + 1);
  std::smatch end;
  std::regex_search(rest, end, std::regex("\n#{1," + std::to_string(heading.find(' ')) + "} "));
  return "\n" + rest.substr(0, end.empty() ? std::string::npos : end.position(0));
}

// True when `text` holds the option `name` as a word of its own ("--end", not "--end-label").
bool namesOption(const std::string& text, const std::string& name) {
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const char after = at + name.size() < text.size() ? text[at + name.size()] : ' ';
    if ((at == 0 || text[at - 1] != '-') && !std::isalnum(static_cast<unsigned char>(after)) &&
        after != '-' && after != '_') {
      return true;
    }
  }
  return false;
}

// A text as the guides quote it: without the blanks and line ends around it.
std::string asQuoted(std::wstring_view text) {
  const std::size_t begin = text.find_first_not_of(L" \r\n");
  if (begin == std::wstring_view::npos) return {};
  return narrow(text.substr(begin, text.find_last_not_of(L" \r\n") - begin + 1));
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
  // The COM client's own texts, shown in the box titled "Ostrabel" when the library gives none
  // (of the one about a missing library, its first two lines).
  namespace com = vss::com::texts;
  const std::wstring_view notInstalled = com::kNotInstalled;
  const std::size_t firstBreak = notInstalled.find(L"\r\n");
  for (const std::wstring_view text :
       {notInstalled.substr(0, firstBreak),
        notInstalled.substr(firstBreak, notInstalled.find(L"\r\n", firstBreak + 2) - firstBreak),
        std::wstring_view(com::kNotStarted), std::wstring_view(com::kNoMemberChinese),
        std::wstring_view(com::kUnexpectedError)}) {
    boxTexts.push_back(asQuoted(text));
  }
  std::vector<std::string> statusRows, reasonTexts;
  for (const std::string& status : statuses) statusRows.push_back("\n| " + status + " |");
  for (const NamedText& reason : kReasons) reasonTexts.push_back(asQuoted(reason.text));

  for (const Guide& guide : kGuides) {
    const std::string text = readSource(guide.file);
    ASSERT_FALSE(text.empty()) << guide.file;
    for (const std::wstring& option : console::optionNames()) {
      EXPECT_TRUE(namesOption(text, narrow(option)))
          << guide.file << " does not explain " << narrow(option);
    }
    // Each section holds what it must: a row per exit status, every box text, every reason.
    const std::pair<const char*, const std::vector<std::string>&> wanted[] = {
        {guide.exitStatus, statusRows}, {guide.boxes, boxTexts}, {guide.reasons, reasonTexts}};
    for (const auto& [heading, texts] : wanted) {
      const std::string part = section(text, heading);
      ASSERT_FALSE(part.empty()) << guide.file << " has no section " << heading;
      for (const std::string& wantedText : texts) {
        EXPECT_NE(part.find(wantedText), std::string::npos)
            << guide.file << ", " << heading << ": no " << wantedText;
      }
    }
  }
}

}  // namespace
