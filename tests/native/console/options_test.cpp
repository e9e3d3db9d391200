// The console program's command line: what each option sets, what it refuses and in which words,
// and how the settings file, the options and the password variable make the inputs of a run.
#include "console/options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "console/texts.h"
#include "standin/text.h"

namespace {

using console::Encoding;
using console::Options;
using console::UsageError;
using engine::ModeOption;
using engine::TextBox;
using Args = std::vector<std::wstring>;
using standin::text::narrow;

// The message of the UsageError that `args` give, or "(accepted)".
std::wstring refusal(const Args& args) {
  try {
    console::parseOptions(args);
  } catch (const UsageError& e) {
    return e.message();
  }
  return L"(accepted)";
}

TEST(ConsoleOptions, EachOptionSetsItsInputInBothSpellings) {
  struct Case {
    Args args;
    std::optional<std::wstring> Options::*member;
    std::wstring value;
  };
  const std::vector<Case> cases = {
      {{L"--ini", L"C:\\jobs\\nightly.ini"}, &Options::ini, L"C:\\jobs\\nightly.ini"},
      {{L"--ini=nightly.ini"}, &Options::ini, L"nightly.ini"},
      {{L"--host", L"\\\\vss\\db\\srcsafe.ini"}, &Options::host, L"\\\\vss\\db\\srcsafe.ini"},
      {{L"--user=build"}, &Options::user, L"build"},
      {{L"--project", L"$/Billing"}, &Options::project, L"$/Billing"},
      {{L"--patch", L"$/Patches/2.4.1"}, &Options::patch, L"$/Patches/2.4.1"},
      {{L"--patch="}, &Options::patch, L""},  // an empty patch path only queries
      {{L"--local-dir", L"D:\\out dir"}, &Options::localDir, L"D:\\out dir"},
      {{L"--start", L"2024-03-04 00:00"}, &Options::startDate, L"2024-03-04 00:00"},
      {{L"--end", L""}, &Options::endDate, L""},    // an empty end means now
      {{L"--end=a=b"}, &Options::endDate, L"a=b"},  // only the first '=' separates
      {{L"--target-user", L"李"}, &Options::targetUser, L"李"},
      {{L"--processed", L"-"}, &Options::processed, L"-"},
      {{L"--unprocessed=todo.txt"}, &Options::unprocessed, L"todo.txt"},
      // The value may look like an option: it is taken as it is.
      {{L"--user", L"--help"}, &Options::user, L"--help"},
      // The last of two wins.
      {{L"--project", L"$/A", L"--project", L"$/B"}, &Options::project, L"$/B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.args.front()));
    const Options options = console::parseOptions(c.args);
    ASSERT_TRUE((options.*c.member).has_value());
    EXPECT_EQ(*(options.*c.member), c.value);
    EXPECT_FALSE(options.help);
  }
}

TEST(ConsoleOptions, ModeEncodingBuildUserAndHelp) {
  const Options none = console::parseOptions({});
  EXPECT_FALSE(none.mode.has_value());
  EXPECT_EQ(none.encoding, Encoding::Ansi);
  EXPECT_FALSE(none.ignoreBuildUser.has_value());
  EXPECT_FALSE(none.help);

  const std::vector<std::pair<std::wstring, ModeOption>> modes = {
      {L"vss", ModeOption::Share},   {L"VSS", ModeOption::Share}, {L"share", ModeOption::Share},
      {L"Local", ModeOption::Local}, {L"view", ModeOption::View}, {L"VIEW", ModeOption::View}};
  for (const auto& [name, mode] : modes) {
    EXPECT_EQ(console::parseOptions({L"--mode", name}).mode, mode) << narrow(name);
    EXPECT_EQ(console::parseOptions({L"--mode=" + name}).mode, mode) << narrow(name);
  }
  for (const auto& [name, encoding] : std::vector<std::pair<std::wstring, Encoding>>{
           {L"ansi", Encoding::Ansi}, {L"UTF8", Encoding::Utf8}, {L"utf-8", Encoding::Utf8}}) {
    EXPECT_EQ(console::parseOptions({L"--encoding", name}).encoding, encoding) << narrow(name);
  }
  EXPECT_EQ(console::parseOptions({L"--ignore-build-user"}).ignoreBuildUser, true);
  EXPECT_EQ(console::parseOptions({L"--no-ignore-build-user"}).ignoreBuildUser, false);
  EXPECT_EQ(
      console::parseOptions({L"--ignore-build-user", L"--no-ignore-build-user"}).ignoreBuildUser,
      false);
  for (const std::wstring help : {L"--help", L"-h", L"/?"}) {
    EXPECT_TRUE(console::parseOptions({L"--ini", L"x.ini", help}).help) << narrow(help);
  }
}

TEST(ConsoleOptions, RefusesWhatItCannotFollowAndSaysWhat) {
  namespace t = console::texts;
  const std::vector<std::pair<Args, std::wstring>> cases = {
      {{L"--frobnicate"}, std::wstring(t::kUnknownOption) + L"--frobnicate"},
      {{L"--frobnicate=1"}, std::wstring(t::kUnknownOption) + L"--frobnicate"},
      {{L"--Project", L"$/A"}, std::wstring(t::kUnknownOption) + L"--Project"},
      {{L"--password", L"secret"}, std::wstring(t::kUnknownOption) + L"--password"},
      {{L"--"}, std::wstring(t::kUnexpectedArgument) + L"--"},
      {{L"nightly.ini"}, std::wstring(t::kUnexpectedArgument) + L"nightly.ini"},
      {{L"-x"}, std::wstring(t::kUnexpectedArgument) + L"-x"},
      {{L"--project"}, std::wstring(t::kMissingValue) + L"--project"},
      {{L"--start", L"2024-01-01", L"--end"}, std::wstring(t::kMissingValue) + L"--end"},
      {{L"--mode"}, std::wstring(t::kMissingValue) + L"--mode"},
      {{L"--mode", L"patch"}, std::wstring(t::kBadValue) + L"--mode patch"},
      {{L"--mode="}, std::wstring(t::kBadValue) + L"--mode "},
      {{L"--encoding", L"gbk"}, std::wstring(t::kBadValue) + L"--encoding gbk"},
      {{L"--ini="}, std::wstring(t::kBadValue) + L"--ini \"\""},
      {{L"--processed", L""}, std::wstring(t::kBadValue) + L"--processed \"\""},
      {{L"--ignore-build-user=1"}, std::wstring(t::kNoValueTaken) + L"--ignore-build-user"},
      {{L"--processed", L"-", L"--unprocessed", L"-"}, t::kBothListsToOutput},
      {{L"--processed", L"Out.txt", L"--unprocessed", L"out.TXT"},
       std::wstring(t::kSameListFile) + L"Out.txt"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(narrow(args.front()));
    EXPECT_EQ(refusal(args), message);
  }
  // Different files, or one list on standard output, are fine.
  EXPECT_EQ(refusal({L"--processed", L"-", L"--unprocessed", L"u.txt"}), L"(accepted)");
  EXPECT_EQ(refusal({L"--processed", L"p.txt", L"--unprocessed", L"u.txt"}), L"(accepted)");
}

const settings::SavedInputs kSaved = {L"\\\\vss\\db\\srcsafe.ini",
                                      L"$/Billing",
                                      L"$/Patches/2.4.1",
                                      L"2024-03-04 00:00",
                                      L"2024-03-09 00:00",
                                      L"build",
                                      L"from file",
                                      true,
                                      L"D:\\patch"};

// The nine texts of a run's inputs, in the order of TextBox: host, project, patch, user,
// password, start, end, target user, local folder.
std::vector<std::wstring> texts(const console::RunInputs& inputs) {
  std::vector<std::wstring> out;
  for (int box = 0; box <= static_cast<int>(TextBox::LocalDir); ++box)
    out.push_back(inputs.text(static_cast<TextBox>(box)));
  return out;
}

TEST(ConsoleInputs, TheSettingsFileFillsWhatNoOptionGives) {
  const console::RunInputs inputs = console::mergeInputs(kSaved, {}, std::nullopt);
  // No target user: the window does not keep it either.
  EXPECT_EQ(texts(inputs),
            (Args{L"\\\\vss\\db\\srcsafe.ini", L"$/Billing", L"$/Patches/2.4.1", L"build",
                  L"from file", L"2024-03-04 00:00", L"2024-03-09 00:00", L"", L"D:\\patch"}));
  EXPECT_TRUE(inputs.ignoreBuildUser);
  EXPECT_EQ(inputs.mode, ModeOption::View);  // no mode option: only list
}

TEST(ConsoleInputs, OptionsWinOverTheFileAndThePasswordVariableOverItsPassword) {
  const Options options = console::parseOptions(
      {L"--host", L"h.ini", L"--user", L"ops", L"--project", L"$/Other", L"--patch", L"",
       L"--local-dir", L"E:\\x", L"--start", L"2024-01-01", L"--end", L"", L"--target-user", L"Li",
       L"--no-ignore-build-user", L"--mode", L"local"});
  const console::RunInputs inputs = console::mergeInputs(kSaved, options, L"from variable");
  EXPECT_EQ(texts(inputs), (Args{L"h.ini", L"$/Other", L"", L"ops", L"from variable", L"2024-01-01",
                                 L"", L"Li", L"E:\\x"}));
  EXPECT_FALSE(inputs.ignoreBuildUser);
  EXPECT_EQ(inputs.mode, ModeOption::Local);

  // An empty variable is no password: the file's stands.
  EXPECT_EQ(console::mergeInputs(kSaved, {}, L"").passwd, L"from file");
  settings::SavedInputs noPassword = kSaved;
  noPassword.passwd.clear();
  noPassword.ignoreBuildUser = false;
  const console::RunInputs fromVariable =
      console::mergeInputs(noPassword, console::parseOptions({L"--ignore-build-user"}), L"s3");
  EXPECT_EQ(fromVariable.passwd, L"s3");
  EXPECT_TRUE(fromVariable.ignoreBuildUser);
}

TEST(ConsoleUsage, BothLanguagesEveryOptionAndCrLfLines) {
  const std::wstring usage = console::usageText();
  std::wistringstream names(
      L"--ini --mode --host --user --project --patch --local-dir --start --end --target-user "
      L"--ignore-build-user --no-ignore-build-user --processed --unprocessed --encoding --help "
      L"OSTRABEL_PASSWORD 用法 Usage 退出状态");
  for (std::wstring name; names >> name;) {
    EXPECT_NE(usage.find(name), std::wstring::npos) << narrow(name);
  }
  EXPECT_NE(usage.find(L"Exit status"), std::wstring::npos);
  // Every line end is CR LF.
  for (std::size_t i = 0; i < usage.size(); ++i) {
    if (usage[i] == L'\n') {
      ASSERT_TRUE(i > 0 && usage[i - 1] == L'\r') << i;
    }
  }
  EXPECT_EQ(usage.substr(usage.size() - 2), L"\r\n");
}

}  // namespace
