// The COM client's own texts, shown where the library gave none: in Chinese like the rest of the
// program, each followed by its English words, which are what a search on the web finds. Plain
// constants, without Windows headers, so that the guides' test can read them too.
#pragma once

namespace vss::com::texts {

// Creating the database object failed because the library is missing: what to do about it.
inline constexpr const wchar_t* kNotInstalled =
    L"本机没有安装或没有注册 SourceSafe 的自动化组件 SSAPI.DLL。\r\n"
    L"The SourceSafe automation library (SSAPI.DLL) is not installed or not registered on this "
    L"computer.\r\n"
    L"\r\n"
    L"注册方法：以管理员身份打开命令提示符，用 32 位的 regsvr32 注册 SourceSafe 文件夹中的 "
    L"ssapi.dll，例如\r\n"
    L"C:\\Windows\\SysWOW64\\regsvr32.exe \"C:\\Program Files (x86)\\Microsoft Visual "
    L"Studio\\VSS\\win32\\ssapi.dll\"\r\n"
    L"（32 位 Windows 上用 C:\\Windows\\System32\\regsvr32.exe，SourceSafe 在 C:\\Program Files "
    L"下）";

// Creating the database object failed for another reason; the system's text follows.
inline constexpr const wchar_t* kNotStarted =
    L"SourceSafe 的自动化组件无法启动 / The SourceSafe automation library could not be started: ";

// The library does not know a member the program calls: the member's name, in double quotes,
// goes between the two parts, the system's text after the second.
inline constexpr const wchar_t* kNoMemberChinese = L"SourceSafe 的自动化组件没有成员 ";
inline constexpr const wchar_t* kNoMemberEnglish =
    L" / The SourceSafe automation library has no member ";

// A status the system has no text for; its eight hexadecimal digits follow.
inline constexpr const wchar_t* kUnexpectedError = L"意外错误 / Unexpected error 0x";

// Share was handed an item that the library did not make.
inline constexpr const wchar_t* kForeignItem =
    L"要共享的项不是 SourceSafe 自动化组件中的项 / The item to share does not come from the "
    L"SourceSafe automation library.";

}  // namespace vss::com::texts
