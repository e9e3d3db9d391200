// The console program's texts for the release engineer's questions (label bounds, skipping
// labels, the report and the explanation of a file), in Chinese and English like the rest.
#pragma once

#include <string>

namespace console::texts {

// Command-line problems.
inline constexpr const wchar_t* kLabelAndDate =
    L"同一边界不能既给标签又给时间 / a label and a date cannot both give one bound: ";
inline constexpr const wchar_t* kReportExtension =
    L"报告文件须以 .csv 或 .html 结尾 / the report must be a .csv or .html file: ";
inline constexpr const wchar_t* kReportIsAList =
    L"报告和列表不能写到同一个文件 / the report and a list cannot go to the same file: ";
inline constexpr const wchar_t* kExplainWritesNoFiles =
    L"--explain 不写列表和报告 / --explain writes no lists and no report: ";

// The report file cannot be written; its path follows.
inline constexpr const wchar_t* kReportNotWritable =
    L"报告文件无法写入 / report file cannot be written: ";

// A label bound: where the label was not found, and the time it gives when it was.
inline std::wstring labelNotFound(const std::wstring& label, const std::wstring& project) {
  return L"项目 " + project + L" 的历史中没有标签 \"" + label + L"\" / label \"" + label +
         L"\" is not in the history of the project " + project;
}
inline std::wstring labelBound(bool start, const std::wstring& label, const std::wstring& time) {
  return std::wstring(start ? L"开始时间" : L"结束时间") + L"取自标签 \"" + label + L"\": " + time +
         L" / the " + (start ? L"start" : L"end") + L" is the time of the label \"" + label +
         L"\": " + time;
}
// A label's time that the platform does not read back to the same second.
inline constexpr const wchar_t* kLabelTimeUnreadable =
    L"标签的时间无法作为时间范围使用 / the label's time cannot be used as a bound: ";

// The report: what a processed file's outcome reads, the column titles, the page's headings.
inline constexpr const wchar_t* kProcessed = L"已处理 / processed";
inline constexpr const wchar_t* kColumns[] = {L"路径 / path",    L"版本 / version", L"时间 / time",
                                              L"用户 / user",    L"操作 / action",  L"标签 / label",
                                              L"注释 / comment", L"结果 / outcome"};
inline constexpr const wchar_t* kReportTitle = L"发布说明 / Release notes";
inline constexpr const wchar_t* kFileColumn = L"文件 / file";
inline constexpr const wchar_t* kInputMode = L"运行方式 / mode";
inline constexpr const wchar_t* kInputHost = L"VSS服务器地址 / database";
inline constexpr const wchar_t* kInputProject = L"VSS项目路径 / project";
inline constexpr const wchar_t* kInputPatch = L"补丁路径 / patch project";
inline constexpr const wchar_t* kInputLocalDir = L"本地目录 / local folder";
inline constexpr const wchar_t* kInputUser = L"用户名 / user";
inline constexpr const wchar_t* kInputStart = L"开始时间 / start";
inline constexpr const wchar_t* kInputEnd = L"结束时间 / end";
inline constexpr const wchar_t* kInputTargetUser = L"操作用户 / target user";
inline constexpr const wchar_t* kInputBuildUser = L"忽略 Compileruser / pass over Compileruser";
inline constexpr const wchar_t* kInputSkipLabels = L"跳过标签 / skip labels";
inline constexpr const wchar_t* kInputMade = L"生成时间 / made";
inline constexpr const wchar_t* kYes = L"是 / yes";
inline constexpr const wchar_t* kNo = L"否 / no";
inline constexpr const wchar_t* kAnyUser = L"（任何用户）/ (any user)";
// After a bound's time: the label it came from.
inline std::wstring fromLabel(const std::wstring& label) {
  return L"（标签 / label \"" + label + L"\"）";
}
// A number in decimal digits. Written out by hand: std::to_wstring goes through the C library's
// formatted printing, and a report writes several numbers for every listed file.
inline std::wstring decimal(long long value) {
  wchar_t digits[24];
  int n = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  std::wstring text = value < 0 ? L"-" : L"";
  while (n > 0) text += digits[--n];
  return text;
}
inline std::wstring counts(std::size_t processed, std::size_t unprocessed) {
  const std::wstring p = decimal(static_cast<long long>(processed)),
                     u = decimal(static_cast<long long>(unprocessed));
  return L"已处理 " + p + L"，未处理 " + u + L" / processed " + p + L", unprocessed " + u;
}

// The explanation of a file.
inline constexpr const wchar_t* kVersion = L"版本 / version ";
inline constexpr const wchar_t* kLabel = L"标签 / label: ";
inline constexpr const wchar_t* kComment = L"注释 / comment: ";
inline constexpr const wchar_t* kPassedOverBuildUser =
    L"跳过：构建用户的记录 / passed over: the build user's record";
inline constexpr const wchar_t* kPassedOverLabel = L"跳过：标签记录 / passed over: a label";
inline constexpr const wchar_t* kPassedOverAbovePin =
    L"跳过：高于固定的版本，项目中没有这个版本 / passed over: above the pinned version, the "
    L"project does not hold it";
inline std::wstring pinnedAt(long version) {
  const std::wstring n = decimal(version);
  return L"项目把这个文件固定在版本 " + n + L" / the project pins this file at version " + n;
}
inline std::wstring labelCovers(long version) {
  if (version <= 0) {
    return L"标签所标记的文件版本无法确定 / the file's version under the label cannot be told";
  }
  const std::wstring n = decimal(version);
  return L"标签标记的是文件的版本 " + n + L" / the label covers version " + n + L" of the file";
}
inline constexpr const wchar_t* kDeciding = L"这条记录决定 / this record decides";
inline constexpr const wchar_t* kNotRead =
    L"更早的记录，运行不再读取 / older: a run reads no further";
inline constexpr const wchar_t* kVerdict = L"结论 / verdict: ";
inline constexpr const wchar_t* kSelected = L"选中 / selected";
inline std::wstring notAfterStart(const std::wstring& start) {
  return L"未选中：不晚于开始时间 " + start + L" / not selected: not after the start, " + start;
}
inline std::wstring notBeforeEnd(const std::wstring& end) {
  return L"未选中：不早于结束时间 " + end + L" / not selected: not before the end, " + end;
}
inline std::wstring otherUser(const std::wstring& user) {
  return L"未选中：不是操作用户 " + user +
         L" 的记录 / not selected: not a record of the target user " + user;
}
inline constexpr const wchar_t* kNoRecordLeft =
    L"未选中：没有可决定的记录 / not selected: no record is left to decide";
inline constexpr const wchar_t* kDamagedVerdict =
    L"未处理：VSS上这个文件是损坏的 / unprocessed: the file is damaged in VSS";
inline constexpr const wchar_t* kHistoryUnreadable =
    L"历史无法读取，运行显示这条错误，不列入任何列表 / the history cannot be read: a run shows "
    L"this error and lists the file nowhere: ";
inline constexpr const wchar_t* kNotAFile = L"这是项目，不是文件 / this is a project, not a file";
inline constexpr const wchar_t* kNotFound = L"找不到 / not found: ";
inline std::wstring notBelowProject(const std::wstring& project) {
  return L"注意：不在项目 " + project + L" 之下，运行不会访问它 / note: not below the project " +
         project + L", a run does not visit it";
}

// The last line of an explanation.
inline std::wstring explainSummary(std::size_t explained, std::size_t missing,
                                   const std::wstring& seconds) {
  const std::wstring e = std::to_wstring(explained), m = std::to_wstring(missing);
  return L"Explain：已解释 " + e + L"，不存在 " + m + L"，用时 " + seconds +
         L" 秒 / Explain: explained " + e + L", not found " + m + L", " + seconds + L" s";
}

}  // namespace console::texts
