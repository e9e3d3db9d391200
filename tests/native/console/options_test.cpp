// The console program's command line: what each option sets, what it refuses and in which words,
// and how the settings file, the options and the password variable make the inputs of a run (the
// usage against the parser: guides_test.cpp).
#include "console/options.h"

#include <gtest/gtest.h>

#include "console/question_texts.h"
#include "console/settings_text.h"
#include "console/texts.h"
#include "standin/text.h"

namespace {

using namespace std::string_literals;
using console::Options;
using engine::ModeOption;
using engine::TextBox;
using Args = std::vector<std::wstring>;
namespace t = console::texts;

// What the arguments set, field by field in a fixed order ("name=value;"), or the refusal.
std::wstring parsed(const Args& args) {
  Options o;
  try {
    o = console::parseOptions(args);
  } catch (const console::UsageError& e) {
    return L"refused: " + e.message();
  }
  std::wstring out;
#define FIELD(name) \
  std::pair { L"" #name, &Options::name }
  const std::pair<const wchar_t*, std::optional<std::wstring> Options::*> texts[] = {
      FIELD(ini),         FIELD(host),       FIELD(user),       FIELD(project),    FIELD(patch),
      FIELD(localDir),    FIELD(startDate),  FIELD(endDate),    FIELD(targetUser), FIELD(processed),
      FIELD(unprocessed), FIELD(sinceLabel), FIELD(untilLabel), FIELD(report)};
#undef FIELD
  for (const auto& [name, member] : texts) {
    if (o.*member) out += name + (L"=" + *(o.*member)) + L";";
  }
  const wchar_t* modes[] = {L"vss", L"local", L"view"};  // in the order of ModeOption
  if (o.mode) out += L"mode="s + modes[static_cast<int>(*o.mode)] + L";";
  if (o.ignoreBuildUser) out += *o.ignoreBuildUser ? L"build=1;" : L"build=0;";
  if (o.encoding == console::Encoding::Utf8) out += L"utf8;";
  if (o.skipLabels) out += L"skip;";
  for (const std::wstring& path : o.explain) out += L"explain=" + path + L";";
  if (o.help) out += L"help;";
  return out;
}

TEST(ConsoleOptions, EachOptionSetsItsInputAndWhatCannotBeFollowedIsRefused) {
  const std::vector<std::pair<Args, std::wstring>> cases = {
      {{}, L""},
      {{L"--ini=nightly.ini", L"--host", L"\\\\vss\\db\\srcsafe.ini", L"--user=build"},
       L"ini=nightly.ini;host=\\\\vss\\db\\srcsafe.ini;user=build;"},
      {{L"--project", L"$/A", L"--project", L"$/B"}, L"project=$/B;"},  // the last wins
      {{L"--patch="}, L"patch=;"},  // an empty patch path only queries
      {{L"--start", L"2024-03-04 00:00", L"--end", L""}, L"startDate=2024-03-04 00:00;endDate=;"},
      {{L"--end=a=b"}, L"endDate=a=b;"},  // only the first '=' separates
      {{L"--processed", L"-", L"--unprocessed=u.txt"}, L"processed=-;unprocessed=u.txt;"},
      {{L"--user", L"--help"}, L"user=--help;"},  // a value that looks like an option
      {{L"--since-label", L"Release 2.3", L"--until-label=2.4", L"--skip-labels"},
       L"sinceLabel=Release 2.3;untilLabel=2.4;skip;"},
      {{L"--local-dir", L"D:\\out dir", L"--target-user", L"李", L"--report", L"notes.Html"},
       L"localDir=D:\\out dir;targetUser=李;report=notes.Html;"},
      {{L"--explain", L"$/A/a.c", L"--explain=$/A/b.c"}, L"explain=$/A/a.c;explain=$/A/b.c;"},
      {{L"--mode", L"VSS"}, L"mode=vss;"},
      {{L"--mode=share"}, L"mode=vss;"},
      {{L"--mode", L"Local"}, L"mode=local;"},
      {{L"--encoding", L"UTF-8", L"--encoding=utf8", L"--ignore-build-user"}, L"build=1;utf8;"},
      {{L"--encoding", L"ansi", L"--ignore-build-user", L"--no-ignore-build-user"}, L"build=0;"},
      {{L"--ini", L"x.ini", L"-h"}, L"ini=x.ini;help;"},
      {{L"/?"}, L"help;"},
      {{L"--Project", L"$/A"}, L"refused: "s + t::kUnknownOption + L"--Project"},
      {{L"--password", L"secret"}, L"refused: "s + t::kUnknownOption + L"--password"},
      {{L"--"}, L"refused: "s + t::kUnexpectedArgument + L"--"},
      {{L"nightly.ini"}, L"refused: "s + t::kUnexpectedArgument + L"nightly.ini"},
      {{L"--start", L"2024-01-01", L"--end"}, L"refused: "s + t::kMissingValue + L"--end"},
      {{L"--mode"}, L"refused: "s + t::kMissingValue + L"--mode"},
      {{L"--mode", L"patch"}, L"refused: "s + t::kBadValue + L"--mode patch"},
      {{L"--encoding", L"gbk"}, L"refused: "s + t::kBadValue + L"--encoding gbk"},
      {{L"--ini="}, L"refused: "s + t::kBadValue + L"--ini \"\""},
      {{L"--since-label", L""}, L"refused: "s + t::kBadValue + L"--since-label \"\""},
      {{L"--explain="}, L"refused: "s + t::kBadValue + L"--explain \"\""},
      {{L"--skip-labels=yes"}, L"refused: "s + t::kNoValueTaken + L"--skip-labels"},
      {{L"--processed", L"-", L"--unprocessed", L"-"}, L"refused: "s + t::kBothListsToOutput},
      {{L"--processed", L"Out.txt", L"--unprocessed", L"out.TXT"},
       L"refused: "s + t::kSameListFile + L"Out.txt"},
      {{L"--since-label", L"2.3", L"--start", L"2024-01-01"},
       L"refused: "s + t::kLabelAndDate + L"--since-label --start"},
      {{L"--end", L"", L"--until-label", L"2.4"},
       L"refused: "s + t::kLabelAndDate + L"--until-label --end"},
      {{L"--report", L".csv"}, L"refused: "s + t::kReportExtension + L".csv"},
      {{L"--report", L"x.htm"}, L"refused: "s + t::kReportExtension + L"x.htm"},
      {{L"--report", L"Notes.CSV", L"--processed", L"notes.csv"},
       L"refused: "s + t::kReportIsAList + L"Notes.CSV"},
      {{L"--explain", L"$/A/a.c", L"--report", L"n.html"},
       L"refused: "s + t::kExplainWritesNoFiles + L"--report"},
      {{L"--unprocessed", L"u.txt", L"--explain", L"$/A/a.c"},
       L"refused: "s + t::kExplainWritesNoFiles + L"--unprocessed"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(parsed(args), expected) << standin::text::narrow(args.empty() ? L"" : args[0]);
  }
}

// The nine texts of a run's inputs in the order of TextBox: host, project, patch, user,
// password, start, end, target user, local folder; then the build-user box and the mode.
std::vector<std::wstring> texts(const console::RunInputs& inputs) {
  std::vector<std::wstring> out;
  for (int box = 0; box <= static_cast<int>(TextBox::LocalDir); ++box)
    out.push_back(inputs.text(static_cast<TextBox>(box)));
  out.push_back(inputs.ignoreBuildUser ? L"build user ignored" : L"build user counts");
  out.push_back(inputs.mode == ModeOption::View ? L"View" : L"not View");
  return out;
}

// The nine values of a settings text (saved in Unicode) fill what no option gives (never the
// target user, which the window does not keep either); options win over them, and a password
// variable that is set and not empty wins over the file's password. Without a mode option the
// run only lists.
TEST(ConsoleInputs, OptionsAndThePasswordVariableWinOverTheSettingsFile) {
  const std::wstring longDir = L"D:\\补丁\\" + std::wstring(300, L'长');  // read whole
  const settings::SavedInputs saved = console::inputsFromText(
      L"[cfg]\r\nhost=\\\\vss\\库\\srcsafe.ini\r\nproject=$/账单\r\npatch=$/补丁\r\n"
      L"startDate=2024-03-04 00:00\r\nendDate=2024-03-09 00:00\r\nuser=王\r\n"
      L"passwd=\" 密 码 \"\r\nignoreBuildUser=1\r\nlocalDir=" +
      longDir + L"\r\n");
  EXPECT_EQ(texts(console::mergeInputs(saved, {}, std::nullopt)),
            (Args{L"\\\\vss\\库\\srcsafe.ini", L"$/账单", L"$/补丁", L"王", L" 密 码 ",
                  L"2024-03-04 00:00", L"2024-03-09 00:00", L"", longDir, L"build user ignored",
                  L"View"}));
  const Options options = console::parseOptions(
      {L"--host", L"h.ini", L"--user", L"ops", L"--project", L"$/Other", L"--patch", L"",
       L"--local-dir", L"E:\\x", L"--start", L"2024-01-01", L"--end", L"", L"--target-user", L"Li",
       L"--no-ignore-build-user", L"--mode", L"local"});
  EXPECT_EQ(texts(console::mergeInputs(saved, options, L"from variable")),
            (Args{L"h.ini", L"$/Other", L"", L"ops", L"from variable", L"2024-01-01", L"", L"Li",
                  L"E:\\x", L"build user counts", L"not View"}));
  EXPECT_EQ(console::mergeInputs(saved, {}, L"").passwd, L" 密 码 ");
  EXPECT_FALSE(console::mergeInputs(saved, {}, L"", true).emptyPasswordGiven);
  // An empty password is one only when the job gives it so.
  const settings::SavedInputs none;
  EXPECT_FALSE(console::mergeInputs(none, {}, std::nullopt).emptyPasswordGiven);
  EXPECT_TRUE(console::mergeInputs(none, {}, std::nullopt, true).emptyPasswordGiven);
  EXPECT_TRUE(console::mergeInputs(none, {}, L"").emptyPasswordGiven);
}

}  // namespace
