// The texts the engine shows: messages, box titles, captions, status texts and list reasons.
// They are what the users read, so they live in one place and are spelled exactly once.
#pragma once

#include <cstdint>
#include <string>

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

// The unknown-error reason: the status in signed decimal, as the users quote it to support.
inline std::wstring unknownErrorReason(std::int32_t status) {
  return kUnknownError + std::to_wstring(status);
}

}  // namespace engine::texts
