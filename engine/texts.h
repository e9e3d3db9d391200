// Every text the users read, in one place and spelled exactly once: the run's messages, box
// titles, status texts and list reasons, and the window's captions, menus and boxes.
#pragma once

#include <cstdint>
#include <string>

#include "ostrabel_version.h"

namespace engine::texts {

// Validation messages, in the order checkValue reports them.
inline constexpr const wchar_t* kHostRequired = L"VSS服务器地址必需输入";
inline constexpr const wchar_t* kProjectRequired = L"VSS项目路径必需输入";
inline constexpr const wchar_t* kRangeRequired = L"时间范围必需输入";
inline constexpr const wchar_t* kStartBadFormat = L"开始时间格式有误";
inline constexpr const wchar_t* kEndBadFormat = L"结束时间格式有误";
inline constexpr const wchar_t* kUserRequired = L"用户名必需输入";
inline constexpr const wchar_t* kPasswdRequired = L"密码必需输入";

// The run driver's boxes, captions and status texts.
inline constexpr const wchar_t* kNoticeTitle = L"提示";
inline constexpr const wchar_t* kAppTitle = L"Ostrabel";
inline constexpr const wchar_t* kStartAfterEnd = L"开始时间不能大于结束时间";
inline constexpr const wchar_t* kConfirmLongRun = L"该操作需要较长时间，请耐心等待。";
inline constexpr const wchar_t* kPatching = L"Patching...";
inline constexpr const wchar_t* kPatched = L"Patch(ed)";
inline constexpr const wchar_t* kFinished = L"补丁整理完成！";
// The status text of a run that a failure ended before the walk was done.
inline constexpr const wchar_t* kRunStopped = L"补丁整理意外中止，结果不完整！";
// Prefix of the text shown when something other than the library fails.
inline constexpr const wchar_t* kUnexpectedFailure = L"操作意外中止: ";

// The build user, whose records ignoreBuildUser passes over (exact spelling).
inline constexpr const wchar_t* kBuildUser = L"Compileruser";

// Reasons of the unprocessed list.
inline constexpr const wchar_t* kDamaged = L" - VSS上这个文件是损坏的";
inline constexpr const wchar_t* kSharedThenDeleted = L" - patch目录原来share过这个文件,但被删除了";
inline constexpr const wchar_t* kFetchedThenDeleted = L" - patch目录原来获得过这个文件,但被删除了";
inline constexpr const wchar_t* kUnknownError = L" - 未知错误,代码: ";

// The comment given to every share.
inline constexpr const wchar_t* kShareComment = L"0";

// The window: its caption, menus, the boxes of its own commands.
inline constexpr const wchar_t* kWindowCaption = L"Ostrabel v" OSTRABEL_VERSION_TEXT;
inline constexpr const wchar_t* kMenuFile = L"文件(&F)";
inline constexpr const wchar_t* kMenuCopyProcessed = L"复制已处理文件列表";
inline constexpr const wchar_t* kMenuCopyUnprocessed = L"复制未处理文件列表";
inline constexpr const wchar_t* kMenuHelp = L"帮助(&H)";
inline constexpr const wchar_t* kMenuAbout = L"关于Ostrabel";
inline constexpr const wchar_t* kAboutTitle = L"关于";
inline constexpr const wchar_t* kAboutVerse = L"千行改动散如星，一键收拢汇成河。\r\n";
inline constexpr const wchar_t* kAboutAgain = L"您确定知道我在说什么？";
inline constexpr const wchar_t* kQuitWhileRunning = L"操作正在进行中，真的要退出？";
inline constexpr const wchar_t* kCopied = L"文件列表已复制至剪贴板中";
inline constexpr const wchar_t* kCopyFailed =
    L"剪贴板正被其他程序占用，文件列表未能复制，请稍后再试。";
inline constexpr const wchar_t* kChooseFolder = L"请选择一个目录.";
inline constexpr const wchar_t* kIniFilter = L"INI Files (*.ini)\0*.ini\0";

// The window's controls, by control name: captions, and the sample texts the boxes show until
// the settings are loaded.
inline constexpr const wchar_t* kLabel1 = L"VSS服务器地址";
inline constexpr const wchar_t* kSampleHost = L"\\\\vss-server\\vss\\srcsafe.ini";
inline constexpr const wchar_t* kChoose = L"选择";  // iniPath and patchDir
inline constexpr const wchar_t* kLabel8 = L"如: \\\\fileserver\\vss\\srcsafe.ini";
inline constexpr const wchar_t* kLabel2 = L"VSS项目路径";
inline constexpr const wchar_t* kSampleProject = L"$/Product/Main";
inline constexpr const wchar_t* kLabel9 = L"如: $/path/to/your/project";
inline constexpr const wchar_t* kFrame4 = L"补丁路径";
inline constexpr const wchar_t* kOpShare = L"VSS";
inline constexpr const wchar_t* kSamplePatch = L"$/Product/Patch1.0";
inline constexpr const wchar_t* kLabel10 = L"如: $/path/to/your/patch1.0/project";
inline constexpr const wchar_t* kOpLocal = L"Local";
inline constexpr const wchar_t* kSampleLocalDir = L"D:\\Patches\\Product";
inline constexpr const wchar_t* kLabel17 = L"如: D:\\VSS\\path\\to\\your\\localProject";
inline constexpr const wchar_t* kView = L"View";
inline constexpr const wchar_t* kLabel4 = L"时间范围";
inline constexpr const wchar_t* kSampleStartDate = L"2008-07-07 17:12";
inline constexpr const wchar_t* kLabel7 = L"至";
inline constexpr const wchar_t* kSampleEndDate = L"2009-04-28 13:30";
inline constexpr const wchar_t* kLabel11 = L"如: 2008-08-18 12:01";
inline constexpr const wchar_t* kFrame3 = L"帮助";
inline constexpr const wchar_t* kLabel16 = L"操作用户";
inline constexpr const wchar_t* kLabel5 = L"用 户 名";
inline constexpr const wchar_t* kPatch = L"Patch";
inline constexpr const wchar_t* kLabel6 = L"密    码";
inline constexpr const wchar_t* kChkIgnoreBuildUser =
    L"查询某时间范围内修改的文件时忽略VSS构建用户打Label的时间";
inline constexpr const wchar_t* kFrame1 = L"已处理文件";
inline constexpr const wchar_t* kFrame2 = L"未处理文件";
inline constexpr const wchar_t* kLabel13 = L"* VSS补丁路径为空则只查询不执行Share操作";
inline constexpr const wchar_t* kLabel14 = L"* 时间范围中结束时间为空则默认为当前时间";
inline constexpr const wchar_t* kLabel12 = L"* 未处理文件列表中文件目前需要手工处理";
inline constexpr const wchar_t* kLabel15 = L"* 操作用户不为空则只读取这个用户操作过的文件";

// The unknown-error reason: the status in signed decimal, as the users quote it to support.
inline std::wstring unknownErrorReason(std::int32_t status) {
  return kUnknownError + std::to_wstring(status);
}

}  // namespace engine::texts
