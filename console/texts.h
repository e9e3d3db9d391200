// The console program's own texts, in Chinese and English; what the run itself says comes from
// engine/texts.h in the window's words.
#pragma once

#include <cstdint>
#include <string>

namespace console::texts {

// Command-line problems; the option or argument follows.
inline constexpr const wchar_t* kUnknownOption = L"未知选项 / unknown option: ";
inline constexpr const wchar_t* kMissingValue = L"选项缺少值 / option needs a value: ";
inline constexpr const wchar_t* kNoValueTaken = L"选项不带值 / option takes no value: ";
inline constexpr const wchar_t* kBadValue = L"选项的值无效 / invalid value of option: ";
inline constexpr const wchar_t* kUnexpectedArgument = L"多余的参数 / unexpected argument: ";
inline constexpr const wchar_t* kBothListsToOutput =
    L"只有一个列表可以写到标准输出 / only one list can go to standard output";
inline constexpr const wchar_t* kSameListFile =
    L"两个列表不能写到同一个文件 / the two lists cannot go to the same file: ";
inline constexpr const wchar_t* kSeeHelp = L"用法见 --help / see --help for the usage";

// Inputs that cannot be used; a path follows.
inline constexpr const wchar_t* kIniNotFound = L"设置文件不存在 / settings file not found: ";
inline constexpr const wchar_t* kIniUnreadable =
    L"设置文件无法读取 / settings file cannot be read: ";
inline constexpr const wchar_t* kListNotWritable =
    L"结果文件无法写入 / result file cannot be written: ";
inline constexpr const wchar_t* kListIsSettingsFile =
    L"结果文件不能是设置文件 / a result file cannot be the settings file: ";
inline constexpr const wchar_t* kListInDatabase =
    L"结果文件不能是数据库文件夹中的文件 / a result file cannot lie in the database's folder: ";
inline constexpr const wchar_t* kLocalDirNotCreated =
    L"本地文件夹无法创建 / local folder cannot be created: ";
// A run that reads the database directly (--direct) shares nothing.
inline constexpr const wchar_t* kDirectCannotShare =
    L"--direct 只读取数据库，不能共享到补丁项目；请用 --mode local 或 --mode view / --direct only "
    L"reads the database and cannot share into a patch project: use --mode local or --mode view";
// Such a run writes nothing into the database's folder; the local folder follows.
inline constexpr const wchar_t* kLocalDirInDatabase =
    L"本地文件夹不能在数据库文件夹中 / the local folder cannot lie in the database's folder: ";
// A file that changed at every read of a direct run (it is listed as damaged): its path, then why.
inline constexpr const wchar_t* kChangedWhileRead =
    L"文件在读取时一直在变化，列为损坏 / the file changed while it was read, listed as damaged: ";
// A key of the settings file follows.
inline constexpr const wchar_t* kValueTooLong =
    L"设置文件中的值过长，读取时会被截断 / a value of the settings file is too long and would be "
    L"read cut: ";
// After a path, the system's error code.
inline constexpr const wchar_t* kSystemError = L" (系统错误 / system error ";
// After the validation messages when the password is missing.
inline constexpr const wchar_t* kPasswordHint =
    L"密码取自设置文件的 passwd 或环境变量 OSTRABEL_PASSWORD；没有密码的用户写空的 passwd= / "
    L"the password comes from passwd in the settings file or from the environment variable "
    L"OSTRABEL_PASSWORD; for a login without a password write an empty passwd=";

// The end of a run.
inline constexpr const wchar_t* kOutputFailed =
    L"结果无法全部写出 / the results could not all be written";
// The temporary file that holds the whole list follows.
inline constexpr const wchar_t* kListNotMoved =
    L"结果文件无法替换，完整的列表在 / the result file could not be replaced; the whole list is "
    L"in: ";
// Before the summary of a Local run: the local folder as the run used it (made full).
inline constexpr const wchar_t* kLocalFolder = L"本地文件夹 / local folder: ";

// The last line of a run: its mode (as the window's option buttons name it: a job that forgot
// --mode only lists, and its log says so), how many files were processed and unprocessed, and how
// long it took (`seconds` already written out).
inline std::wstring summary(const std::wstring& mode, std::uint64_t processed,
                            std::uint64_t unprocessed, const std::wstring& seconds) {
  const std::wstring p = std::to_wstring(processed), u = std::to_wstring(unprocessed);
  return mode + L"：已处理 " + p + L"，未处理 " + u + L"，用时 " + seconds + L" 秒 / " + mode +
         L": processed " + p + L", unprocessed " + u + L", " + seconds + L" s";
}

}  // namespace console::texts
