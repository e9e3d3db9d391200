// Late-bound calls through IDispatch and the translation of their failures.
#include "vss/com/dispatch_call.h"

#include <cwchar>

#include "vss/com/texts.h"

namespace vss::com {

namespace {

constexpr const wchar_t* kMemberNames[] = {
    L"Open",    L"VSSItem",  L"Type",     L"Name",          L"Spec",
    L"Parent",  L"Items",    L"Versions", L"NewSubproject", L"Share",
    L"Get",     L"Username", L"Date",     L"VersionNumber", L"Action",
    L"Comment", L"Label",    L"Links",    L"LabelComment",  L"VersionNumber",
};
static_assert(sizeof(kMemberNames) / sizeof(kMemberNames[0]) == static_cast<size_t>(Member::Count));

// The description held by the thread's error object, which reading takes away; empty when there
// is none.
std::wstring takeErrorObjectText() {
  ComPtr<IErrorInfo> errorInfo;
  if (GetErrorInfo(0, errorInfo.put()) != S_OK || !errorInfo) return {};
  UniqueBstr description;
  if (FAILED(errorInfo->GetDescription(description.put()))) return {};
  return std::wstring(description.view());
}

vss::Error conversionError(HRESULT hr) { return vss::Error(hr, systemMessage(hr)); }

}  // namespace

const wchar_t* memberName(Member member) noexcept {
  return kMemberNames[static_cast<size_t>(member)];
}

DISPID DispidCache::lookup(IDispatch* object, Member member) {
  DISPID& id = ids_[static_cast<size_t>(member)];
  if (id != DISPID_UNKNOWN) return id;
  LPOLESTR name = const_cast<LPOLESTR>(memberName(member));
  DISPID found = DISPID_UNKNOWN;
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &found);
  if (FAILED(hr)) {
    const std::wstring quoted = std::wstring(L"\"") + name + L"\"";
    throw vss::Error(hr, texts::kNoMemberChinese + quoted + texts::kNoMemberEnglish + quoted +
                             L": " + systemMessage(hr));
  }
  id = found;
  return id;
}

void invoke(IDispatch* object, DISPID dispid, WORD flags, VARIANTARG* reversedArgs, UINT count,
            VARIANT* result) {
  DISPPARAMS params{reversedArgs, nullptr, count, 0};
  EXCEPINFO info{};
  UINT argError = 0;
  const HRESULT hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                    &info, &argError);
  if (FAILED(hr)) throw callError(hr, &info);
}

vss::Error callError(HRESULT hr, EXCEPINFO* info) {
  std::int32_t status = hr;
  std::wstring description;
  if (hr == DISP_E_EXCEPTION && info != nullptr) {
    if (info->pfnDeferredFillIn != nullptr) info->pfnDeferredFillIn(info);
    UniqueBstr source(info->bstrSource);
    UniqueBstr text(info->bstrDescription);
    UniqueBstr helpFile(info->bstrHelpFile);
    info->bstrSource = info->bstrDescription = info->bstrHelpFile = nullptr;
    if (info->scode != 0) {
      status = info->scode;
    } else if (info->wCode != 0) {
      // The customary mapping of a 16-bit exception code to a status.
      status = static_cast<std::int32_t>(0x80040200u + info->wCode);
    }
    description = text.view();
    // The server may also have set the error object for the same failure; take it away so that
    // a later failure cannot be explained with this one's text.
    std::wstring objectText = takeErrorObjectText();
    if (description.empty()) description = std::move(objectText);
  } else {
    if (info != nullptr) {
      SysFreeString(info->bstrSource);
      SysFreeString(info->bstrDescription);
      SysFreeString(info->bstrHelpFile);
      info->bstrSource = info->bstrDescription = info->bstrHelpFile = nullptr;
    }
    description = takeErrorObjectText();
  }
  if (description.empty()) description = systemMessage(status);
  return vss::Error(status, std::move(description));
}

std::wstring systemMessage(HRESULT hr) {
  wchar_t buffer[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(hr), 0, buffer,
                                static_cast<DWORD>(sizeof(buffer) / sizeof(buffer[0])), nullptr);
  while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                        buffer[length - 1] == L' ')) {
    --length;
  }
  if (length > 0) return std::wstring(buffer, length);
  swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), L"%08lX", static_cast<unsigned long>(hr));
  return texts::kUnexpectedError + std::wstring(buffer);
}

std::wstring resultString(UniqueVariant& result) {
  if (result.vt() == VT_BSTR) {
    const BSTR value = result.get()->bstrVal;
    return value == nullptr ? std::wstring() : std::wstring(value, SysStringLen(value));
  }
  if (result.vt() == VT_EMPTY || result.vt() == VT_NULL) return {};
  const HRESULT hr = VariantChangeType(result.get(), result.get(), 0, VT_BSTR);
  if (FAILED(hr)) throw conversionError(hr);
  return resultString(result);
}

LONG resultInt32(UniqueVariant& result) {
  if (result.vt() == VT_I4) return result.get()->lVal;
  if (result.vt() == VT_INT) return result.get()->intVal;  // the library's Type is an int
  const HRESULT hr = VariantChangeType(result.get(), result.get(), 0, VT_I4);
  if (FAILED(hr)) throw conversionError(hr);
  return result.get()->lVal;
}

double resultDate(UniqueVariant& result) {
  if (result.vt() == VT_DATE) return result.get()->date;
  const HRESULT hr = VariantChangeType(result.get(), result.get(), 0, VT_DATE);
  if (FAILED(hr)) throw conversionError(hr);
  return result.get()->date;
}

ComPtr<IDispatch> resultObject(UniqueVariant& result) {
  VARIANT* value = result.get();
  if (value->vt == VT_DISPATCH) {
    // Take over the reference the result holds.
    ComPtr<IDispatch> object = ComPtr<IDispatch>::attach(value->pdispVal);
    value->vt = VT_EMPTY;
    return object;
  }
  if (value->vt == VT_UNKNOWN) {
    ComPtr<IDispatch> object;
    if (value->punkVal != nullptr) {
      const HRESULT hr =
          value->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put()));
      if (FAILED(hr)) throw conversionError(hr);
    }
    return object;
  }
  if (value->vt == VT_EMPTY || value->vt == VT_NULL) return {};
  throw conversionError(DISP_E_TYPEMISMATCH);
}

ComPtr<IEnumVARIANT> newEnum(IDispatch* collection) {
  UniqueVariant result;
  invoke(collection, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0,
         result.put());
  IUnknown* unknown = nullptr;
  if (result.vt() == VT_UNKNOWN) unknown = result.get()->punkVal;
  if (result.vt() == VT_DISPATCH) unknown = result.get()->pdispVal;
  if (unknown == nullptr) throw conversionError(DISP_E_TYPEMISMATCH);
  ComPtr<IEnumVARIANT> enumerator;
  const HRESULT hr =
      unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(enumerator.put()));
  if (FAILED(hr)) throw conversionError(hr);
  return enumerator;
}

}  // namespace vss::com
