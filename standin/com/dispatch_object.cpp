// The hand-written IDispatch shared by the stand-in server's objects.
#include "standin/com/dispatch_object.h"

#include <new>

namespace standin::com {

DispatchCounters& dispatchCounters() {
  static DispatchCounters counters;
  return counters;
}

std::atomic<long>& liveObjectCount() {
  static std::atomic<long> count{0};
  return count;
}

std::atomic<long>& serverLockCount() {
  static std::atomic<long> count{0};
  return count;
}

namespace {

constexpr const wchar_t* kSource = L"SourceSafe";

bool sameName(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

std::wstring_view bstrView(BSTR value) {
  return value == nullptr ? std::wstring_view() : std::wstring_view(value, SysStringLen(value));
}

std::wstring widen(const char* text) {
  std::wstring wide;
  for (; *text != '\0'; ++text) wide.push_back(static_cast<unsigned char>(*text));
  return wide;
}

}  // namespace

// ---- Args ----

bool Args::present(UINT position) const noexcept {
  if (position >= count()) return false;
  const VARIANT& value = params_.rgvarg[count() - 1 - position];
  return !(value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND);
}

const VARIANT& Args::at(UINT position) const {
  if (position >= count()) throw ArgumentError{DISP_E_BADPARAMCOUNT, position};
  const VARIANT& value = params_.rgvarg[count() - 1 - position];
  if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal != nullptr) return *value.pvarVal;
  return value;
}

UniqueVariant Args::converted(UINT position, VARTYPE type) const {
  UniqueVariant value;
  const HRESULT hr = VariantChangeType(value.put(), const_cast<VARIANT*>(&at(position)), 0, type);
  if (FAILED(hr)) throw ArgumentError{DISP_E_TYPEMISMATCH, position};
  return value;
}

std::wstring Args::string(UINT position) const {
  if (!present(position)) throw ArgumentError{DISP_E_PARAMNOTFOUND, position};
  const VARIANT& value = at(position);
  if (value.vt == VT_BSTR) return std::wstring(bstrView(value.bstrVal));
  if (value.vt == (VT_BSTR | VT_BYREF)) return std::wstring(bstrView(*value.pbstrVal));
  UniqueVariant text = converted(position, VT_BSTR);
  return std::wstring(bstrView(text.get()->bstrVal));
}

std::wstring Args::string(UINT position, const wchar_t* fallback) const {
  return present(position) ? string(position) : std::wstring(fallback);
}

bool Args::boolean(UINT position, bool fallback) const {
  if (!present(position)) return fallback;
  const VARIANT& value = at(position);
  if (value.vt == VT_BOOL) return value.boolVal != VARIANT_FALSE;
  return converted(position, VT_BOOL).get()->boolVal != VARIANT_FALSE;
}

long Args::int32(UINT position, long fallback) const {
  if (!present(position)) return fallback;
  const VARIANT& value = at(position);
  if (value.vt == VT_I4) return value.lVal;
  return converted(position, VT_I4).get()->lVal;
}

IDispatch* Args::object(UINT position) const {
  if (!present(position)) throw ArgumentError{DISP_E_PARAMNOTFOUND, position};
  const VARIANT& value = at(position);
  switch (value.vt) {
    case VT_DISPATCH:
      return value.pdispVal;
    case VT_DISPATCH | VT_BYREF:
      return value.ppdispVal != nullptr ? *value.ppdispVal : nullptr;
    case VT_UNKNOWN: {
      // Borrowed: the object stays alive through the caller's reference to the same object.
      ComPtr<IDispatch> dispatch;
      if (value.punkVal == nullptr ||
          FAILED(value.punkVal->QueryInterface(IID_IDispatch,
                                               reinterpret_cast<void**>(dispatch.put())))) {
        throw ArgumentError{DISP_E_TYPEMISMATCH, position};
      }
      return dispatch.get();
    }
    default:
      throw ArgumentError{DISP_E_TYPEMISMATCH, position};
  }
}

BSTR* Args::stringSlot(UINT position) const {
  if (!present(position)) return nullptr;
  const VARIANT& given = params_.rgvarg[count() - 1 - position];
  if (given.vt == (VT_BSTR | VT_BYREF)) return given.pbstrVal;
  if (given.vt == VT_BSTR) return nullptr;
  // A by-reference VARIANT holding a string, as script clients pass it: the string inside it
  // is the slot.
  if (given.vt == (VT_VARIANT | VT_BYREF) && given.pvarVal != nullptr &&
      given.pvarVal->vt == VT_BSTR) {
    return &given.pvarVal->bstrVal;
  }
  throw ArgumentError{DISP_E_TYPEMISMATCH, position};
}

// ---- DispatchObject ----

void* DispatchObject::interfaceFor(REFIID iid) noexcept {
  if (IsEqualIID(iid, IID_IDispatch)) return static_cast<IDispatch*>(this);
  if (IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return otherInterface(iid);
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                        LCID, DISPID* ids) {
  ++dispatchCounters().namesLookedUp;
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (count == 0) return S_OK;
  for (const MemberEntry& member : members()) {
    if (names[0] != nullptr && sameName(names[0], member.name)) {
      ids[0] = member.id;
      break;
    }
  }
  // The members take no named arguments, so any further name is unknown.
  if (ids[0] == DISPID_UNKNOWN || count > 1) result = DISP_E_UNKNOWNNAME;
  return result;
}

HRESULT STDMETHODCALLTYPE DispatchObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                                 DISPPARAMS* params, VARIANT* result,
                                                 EXCEPINFO* exception, UINT* argumentError) {
  ++dispatchCounters().calls;
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const MemberEntry* member = nullptr;
  for (const MemberEntry& entry : members()) {
    if (entry.id == id) {
      member = &entry;
      break;
    }
  }
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  const WORD wanted =
      member->kind == MemberKind::PropertyGet ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
  if ((flags & wanted) == 0) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (params == nullptr) params = &none;
  if (params->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs < member->required || params->cArgs > member->required + member->optional) {
    return DISP_E_BADPARAMCOUNT;
  }

  UniqueVariant value;
  try {
    call(id, Args(*params), *value.get());
  } catch (const ArgumentError& error) {
    // The position of the bad argument is reported only for the statuses that name one.
    const bool namesArgument =
        error.status == DISP_E_TYPEMISMATCH || error.status == DISP_E_PARAMNOTFOUND;
    if (argumentError != nullptr && namesArgument && error.position < params->cArgs) {
      *argumentError = params->cArgs - 1 - error.position;
    }
    return error.status;
  } catch (const vss::Error& error) {
    return reportFailure(error.status(), error.description(), exception);
  } catch (const std::bad_alloc&) {
    return reportFailure(E_OUTOFMEMORY, L"Not enough memory", exception);
  } catch (const std::exception& error) {
    return reportFailure(E_FAIL, widen(error.what()), exception);
  }
  if (result != nullptr) {
    VariantInit(result);
    value.release(result);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IDispatch) ? S_OK : S_FALSE;
}

// ---- helpers ----

HRESULT reportFailure(std::int32_t status, const std::wstring& description, EXCEPINFO* exception) {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    create->SetGUID(IID_IDispatch);
    create->SetSource(const_cast<LPOLESTR>(kSource));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> errorInfo;
    if (SUCCEEDED(create.query(errorInfo))) SetErrorInfo(0, errorInfo.get());
  }
  // A status that is not a failure code cannot be returned as one.
  const HRESULT failure = status < 0 ? static_cast<HRESULT>(status) : E_FAIL;
  if (exception == nullptr) return failure;
  *exception = EXCEPINFO{};
  exception->scode = failure;
  exception->bstrSource = SysAllocString(kSource);
  exception->bstrDescription =
      SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
  return DISP_E_EXCEPTION;
}

void setObject(VARIANT& result, ComPtr<IDispatch> object) noexcept {
  VariantClear(&result);
  result.vt = VT_DISPATCH;
  result.pdispVal = object.release();
}

void setString(VARIANT& result, const std::wstring& text) {
  UniqueBstr value(text);
  VariantClear(&result);
  result.vt = VT_BSTR;
  result.bstrVal = value.release();
}

void setBool(VARIANT& result, bool value) noexcept {
  VariantClear(&result);
  result.vt = VT_BOOL;
  result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setInt(VARIANT& result, int value) noexcept {
  VariantClear(&result);
  result.vt = VT_INT;
  result.intVal = value;
}

void setLong(VARIANT& result, long value) noexcept {
  VariantClear(&result);
  result.vt = VT_I4;
  result.lVal = value;
}

void setDate(VARIANT& result, double value) noexcept {
  VariantClear(&result);
  result.vt = VT_DATE;
  result.date = value;
}

}  // namespace standin::com
