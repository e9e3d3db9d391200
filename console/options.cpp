// The command line of the console program and the inputs of its run.
#include "console/options.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "console/questions.h"
#include "console/texts.h"

namespace console {
namespace {

using TextOption = std::optional<std::wstring> Options::*;

// What an option does with its value: takes none, keeps a text (one that may have to be
// non-empty), or names a mode, an encoding or a file to explain.
enum class Takes { Nothing, Text, NonEmptyText, Mode, Encoding, Explain };

// Every option the parser knows, by name.
struct OptionDef {
  std::wstring_view name;
  Takes takes;
  TextOption text = nullptr;  // where a text goes
};
constexpr OptionDef kOptions[] = {
    {L"--help", Takes::Nothing},
    {L"--ini", Takes::NonEmptyText, &Options::ini},
    {L"--mode", Takes::Mode},
    {L"--host", Takes::Text, &Options::host},
    {L"--user", Takes::Text, &Options::user},
    {L"--project", Takes::Text, &Options::project},
    {L"--patch", Takes::Text, &Options::patch},
    {L"--local-dir", Takes::Text, &Options::localDir},
    {L"--start", Takes::Text, &Options::startDate},
    {L"--end", Takes::Text, &Options::endDate},
    {L"--target-user", Takes::Text, &Options::targetUser},
    {L"--ignore-build-user", Takes::Nothing},
    {L"--no-ignore-build-user", Takes::Nothing},
    {L"--processed", Takes::NonEmptyText, &Options::processed},
    {L"--unprocessed", Takes::NonEmptyText, &Options::unprocessed},
    {L"--encoding", Takes::Encoding},
    // The release engineer's questions.
    {L"--since-label", Takes::NonEmptyText, &Options::sinceLabel},
    {L"--until-label", Takes::NonEmptyText, &Options::untilLabel},
    {L"--skip-labels", Takes::Nothing},
    {L"--report", Takes::NonEmptyText, &Options::report},
    {L"--explain", Takes::Explain},
    {L"--direct", Takes::Nothing},
};

}  // namespace

std::wstring lowerAscii(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower;
}

namespace {

std::optional<engine::ModeOption> modeNamed(std::wstring_view value) {
  const std::wstring name = lowerAscii(value);
  if (name == L"vss" || name == L"share") return engine::ModeOption::Share;
  if (name == L"local") return engine::ModeOption::Local;
  if (name == L"view") return engine::ModeOption::View;
  return std::nullopt;
}

std::optional<Encoding> encodingNamed(std::wstring_view value) {
  const std::wstring name = lowerAscii(value);
  if (name == L"ansi") return Encoding::Ansi;
  if (name == L"utf8" || name == L"utf-8") return Encoding::Utf8;
  return std::nullopt;
}

const std::wstring& chosen(const std::optional<std::wstring>& option, const std::wstring& saved) {
  return option ? *option : saved;
}

}  // namespace

Options parseOptions(const std::vector<std::wstring>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
      options.help = true;
      continue;
    }
    if (argument.size() < 3 || argument.compare(0, 2, L"--") != 0) {
      throw UsageError(texts::kUnexpectedArgument + argument);
    }
    const std::size_t equals = argument.find(L'=');
    const std::wstring name = argument.substr(0, equals);
    std::optional<std::wstring> inlineValue;
    if (equals != std::wstring::npos) inlineValue = argument.substr(equals + 1);

    const OptionDef* def = std::find_if(std::begin(kOptions), std::end(kOptions),
                                        [&name](const OptionDef& d) { return d.name == name; });
    if (def == std::end(kOptions)) throw UsageError(texts::kUnknownOption + name);
    if (def->takes == Takes::Nothing) {
      if (inlineValue) throw UsageError(texts::kNoValueTaken + name);
      if (name == L"--help") {
        options.help = true;
      } else if (name == L"--skip-labels") {
        options.skipLabels = true;
      } else if (name == L"--direct") {
        options.direct = true;
      } else {
        options.ignoreBuildUser = name == L"--ignore-build-user";
      }
      continue;
    }

    // Every other option takes a value, inline or as the next argument.
    std::wstring value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      throw UsageError(texts::kMissingValue + name);
    }
    switch (def->takes) {
      case Takes::Mode:
        options.mode = modeNamed(value);
        if (!options.mode) throw UsageError(texts::kBadValue + name + L" " + value);
        break;
      case Takes::Encoding: {
        const std::optional<Encoding> encoding = encodingNamed(value);
        if (!encoding) throw UsageError(texts::kBadValue + name + L" " + value);
        options.encoding = *encoding;
        break;
      }
      case Takes::Explain:  // may be given more than once
        if (value.empty()) throw UsageError(texts::kBadValue + name + L" \"\"");
        options.explain.push_back(std::move(value));
        break;
      default:
        if (value.empty() && def->takes == Takes::NonEmptyText) {
          throw UsageError(texts::kBadValue + name + L" \"\"");
        }
        options.*def->text = std::move(value);
        break;
    }
  }

  if (options.processed && options.unprocessed) {
    if (*options.processed == kStandardOutput && *options.unprocessed == kStandardOutput) {
      throw UsageError(texts::kBothListsToOutput);
    }
    // Windows file names are the same in any letter case.
    if (*options.processed != kStandardOutput &&
        lowerAscii(*options.processed) == lowerAscii(*options.unprocessed)) {
      throw UsageError(texts::kSameListFile + *options.processed);
    }
  }
  checkQuestionOptions(options);
  return options;
}

std::vector<std::wstring> optionNames() {
  std::vector<std::wstring> names;
  for (const OptionDef& def : kOptions) names.emplace_back(def.name);
  return names;
}

std::wstring RunInputs::text(engine::TextBox box) const {
  using engine::TextBox;
  switch (box) {
    case TextBox::Host:
      return host;
    case TextBox::Project:
      return project;
    case TextBox::Patch:
      return patch;
    case TextBox::User:
      return user;
    case TextBox::Passwd:
      return passwd;
    case TextBox::StartDate:
      return startDate;
    case TextBox::EndDate:
      return endDate;
    case TextBox::TargetUser:
      return targetUser;
    case TextBox::LocalDir:
      return localDir;
  }
  return {};
}

RunInputs mergeInputs(const settings::SavedInputs& saved, const Options& options,
                      const std::optional<std::wstring>& passwordVariable, bool passwdGiven) {
  RunInputs inputs;
  inputs.host = chosen(options.host, saved.host);
  inputs.project = chosen(options.project, saved.project);
  inputs.patch = chosen(options.patch, saved.patch);
  inputs.user = chosen(options.user, saved.user);
  inputs.passwd = passwordVariable && !passwordVariable->empty() ? *passwordVariable : saved.passwd;
  inputs.emptyPasswordGiven = inputs.passwd.empty() && (passwordVariable || passwdGiven);
  inputs.startDate = chosen(options.startDate, saved.startDate);
  inputs.endDate = chosen(options.endDate, saved.endDate);
  inputs.localDir = chosen(options.localDir, saved.localDir);
  inputs.targetUser = options.targetUser.value_or(L"");
  inputs.mode = options.mode.value_or(engine::ModeOption::View);
  inputs.ignoreBuildUser = options.ignoreBuildUser.value_or(saved.ignoreBuildUser);
  return inputs;
}

std::wstring usageText() {
  static constexpr std::wstring_view kUsage =
      LR"(用法 / Usage:
  OstrabelCli.exe [--ini 文件] [选项 / options]

按 Ostrabel.exe 的规则整理补丁：遍历 VSS 项目，选出最新一条历史记录在时间范围内的文件，
共享到补丁项目、获取到本地文件夹或只列出。不弹出任何提示框，不提问，也不保存设置。
Collects a patch by the rules of Ostrabel.exe: walks a VSS project, picks every file whose
newest history record lies inside the time range, and shares it into a patch project, fetches
it into a local folder or only lists it. No boxes, no questions; the settings are never saved.

输入 / Inputs (选项优先于设置文件 / an option wins over the settings file):
  --ini 文件/FILE          设置文件，格式同 Ostrabel.ini（节 [cfg]）
                           settings file in the format of Ostrabel.ini (section [cfg])
  --mode vss|local|view    运行方式，默认 view / run mode, view when left out
  --host 文件/FILE         VSS服务器地址：数据库的 srcsafe.ini / the database's srcsafe.ini
  --user 名称/NAME         用户名 / SourceSafe login
  --project 路径/PATH      VSS项目路径，如 $/Billing / project to walk, e.g. $/Billing
  --patch 路径/PATH        补丁路径（vss），为空则只查询 / patch project (vss); empty: list only
  --local-dir 文件夹/FOLDER
                           本地文件夹（local）/ local folder (local)
  --start 时间/DATE        开始时间，如 "2024-03-04 00:00" / start, e.g. "2024-03-04 00:00"
  --end 时间/DATE          结束时间，为空则为当前时间 / end; empty means now
  --target-user 名称/NAME  操作用户：只取判定记录（最新一条记录）出自这个用户的文件
                           only files whose deciding record (the newest) this user made
  --ignore-build-user      选判定记录时跳过构建用户 Compileruser 的所有记录（签入和标签）
                           pass over every record of Compileruser (check-ins and labels)
                           when choosing the deciding record
  --no-ignore-build-user   不跳过 / do not pass over them
  --direct                 不经 SourceSafe，直接读取数据库文件夹（无需安装 SourceSafe；只读，
                           数据库文件夹中不写入任何文件）；只用于 view、local、--report 和
                           --explain，不能共享（vss）
                           read the database folder directly, without SourceSafe (none needs to
                           be installed; read only: nothing is written into the database's
                           folder); for view, local, --report and --explain, never vss (share)
  密码取自设置文件的 passwd，或环境变量 OSTRABEL_PASSWORD（优先），从不取自命令行。
  没有密码的用户：把 OSTRABEL_PASSWORD 设为空值，或在设置文件中写空的 passwd=；
  密码缺失不等于空密码。
  The password comes from passwd in the settings file or from the environment variable
  OSTRABEL_PASSWORD (which wins); never from the command line. A login without a password:
  set OSTRABEL_PASSWORD to an empty value, or write an empty passwd= in the settings file; a
  password that is simply missing is not an empty one.

输出 / Outputs:
  --processed 文件/FILE    已处理文件列表，- 为标准输出（默认：标准输出）
                           processed list; - is standard output (the default)
  --unprocessed 文件/FILE  未处理文件列表，- 为标准输出（默认：标准错误）
                           unprocessed list; - is standard output (default: standard error)
  --encoding ansi|utf8     列表及重定向输出的编码，默认 ansi（系统 ANSI 代码页，同剪贴板文本）
                           encoding of the lists and of redirected output; ansi (the system's
                           ANSI code page, as the clipboard's text) when left out
  --help                   显示本说明 / show this text
  每个列表每个文件一行，与窗口的列表相同，行间以 CR LF 分隔。汇总写在标准错误的最后一行，
  并写出运行方式。
  One line per file as the window lists it, CR LF between lines. The summary, which names the
  mode, is the last line of standard error.

发布 / Releases:
  --since-label 标签/LABEL 开始时间取项目历史中这个标签的时间（同名取最新的）；标签记录不决定
                           start at the time of LABEL in the project's history (the newest of
                           that name); label records then decide nothing
  --until-label 标签/LABEL 结束时间取这个标签的时间 / end at the time of LABEL
  --skip-labels            标签记录不决定，由最新的版本决定（不论谁打的标签）
                           label records decide nothing, whoever applied them: the newest
                           version decides
  --report 文件/FILE       发布说明：每个列出的文件一行，含版本、时间、用户、操作、标签、注释和
                           结果；.csv（UTF-8，Excel 可直接打开）或 .html（一个网页，可打印）
                           release notes: a row per listed file with its version, time, user,
                           action, label, comment and outcome; .csv (UTF-8, opens in Excel) or
                           .html (one page, printable)
  --explain 路径/PATH      不遍历，解释这个文件为何选中或未选中（可多次给出）
                           instead of the walk, explain why this file is (not) selected; may be
                           given more than once

退出状态 / Exit status:
  0  选中的文件全部已处理 / every selected file was processed
  1  有未处理的文件 / some files were not processed
  2  输入无效，或数据库无法打开，或标签不存在，或 --explain 的文件不存在
     invalid inputs, the database could not be opened, a label is not there, or a file of
     --explain is not there
  3  意外错误，结果可能不完整 / unexpected failure; the results may be incomplete
)";
  std::wstring text;
  for (const wchar_t c : kUsage) {
    if (c == L'\n') text += L'\r';
    text += c;
  }
  return text;
}

}  // namespace console
