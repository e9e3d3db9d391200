// Late-bound calls through IDispatch for the automation client: member ids looked up once per
// name, calls made with Invoke, and every failure turned into a vss::Error carrying the
// library's status and description.
#pragma once

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <oaidl.h>
// clang-format on

#include <array>
#include <string>
#include <string_view>

#include "vss/com/unique_com.h"
#include "vss/port.h"

namespace vss::com {

// The members the client calls by name. Each name the client calls belongs to one object type of
// the library (database, item or version), so one id per name is one id per member of that type
// (VersionNumber, which items and versions both have, takes a slot for each).
enum class Member : int {
  Open,
  VSSItem,
  Type,
  Name,
  Spec,
  Parent,
  Items,
  Versions,
  NewSubproject,
  Share,
  Get,
  Username,
  Date,
  VersionNumber,
  Action,
  Comment,
  Label,
  Links,
  LabelComment,
  ItemVersionNumber,  // "VersionNumber" of an item
  Count,              // number of members, not a member
};

const wchar_t* memberName(Member member) noexcept;

// The member ids of the library's object types, asked for once per name (on the first object
// that needs them) and reused for every later object: the library's objects of one type share
// one interface.
class DispidCache {
 public:
  DispidCache() noexcept { ids_.fill(DISPID_UNKNOWN); }
  DISPID lookup(IDispatch* object, Member member);

 private:
  std::array<DISPID, static_cast<size_t>(Member::Count)> ids_;
};

// The arguments of one call, given left to right and stored right to left as Invoke expects.
// They borrow what they point at: the caller keeps strings and objects alive for the call.
template <size_t N>
class CallArgs {
 public:
  CallArgs() noexcept {
    for (auto& arg : args_) VariantInit(&arg);
  }
  CallArgs& bstr(size_t position, BSTR value) noexcept {
    slot(position).vt = VT_BSTR;
    slot(position).bstrVal = value;
    return *this;
  }
  CallArgs& bstrRef(size_t position, BSTR* value) noexcept {
    slot(position).vt = VT_BSTR | VT_BYREF;
    slot(position).pbstrVal = value;
    return *this;
  }
  CallArgs& boolean(size_t position, bool value) noexcept {
    slot(position).vt = VT_BOOL;
    slot(position).boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return *this;
  }
  CallArgs& int32(size_t position, LONG value) noexcept {
    slot(position).vt = VT_I4;
    slot(position).lVal = value;
    return *this;
  }
  CallArgs& dispatch(size_t position, IDispatch* value) noexcept {
    slot(position).vt = VT_DISPATCH;
    slot(position).pdispVal = value;
    return *this;
  }
  VARIANTARG* data() noexcept { return args_.data(); }
  static constexpr UINT count() noexcept { return static_cast<UINT>(N); }

 private:
  VARIANTARG& slot(size_t position) noexcept { return args_[N - 1 - position]; }
  std::array<VARIANTARG, N> args_;
};

// Calls member `dispid` of `object` with arguments laid out right to left; `result` may be null.
// Throws vss::Error on failure.
void invoke(IDispatch* object, DISPID dispid, WORD flags, VARIANTARG* reversedArgs, UINT count,
            VARIANT* result);

// The failure of a call that returned `hr`, with `info` filled when hr is DISP_E_EXCEPTION:
// status and description from the exception information, else from the thread's error object,
// else the status with the system's text for it.
vss::Error callError(HRESULT hr, EXCEPINFO* info);

// The system's text for a status, without the trailing line break; a generic text naming the
// status in hexadecimal when the system has none.
std::wstring systemMessage(HRESULT hr);

// Conversions of call results; a result of another type is converted the way automation
// converts it, and one that cannot be converted fails as a vss::Error.
std::wstring resultString(UniqueVariant& result);
LONG resultInt32(UniqueVariant& result);
double resultDate(UniqueVariant& result);
// The object of a result; empty for a null object or an empty result.
ComPtr<IDispatch> resultObject(UniqueVariant& result);
// The enumerator of a collection object, from its _NewEnum member.
ComPtr<IEnumVARIANT> newEnum(IDispatch* collection);

}  // namespace vss::com
