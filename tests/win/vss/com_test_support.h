// Shared by the COM tests: the apartment of the test thread, registry keys made for a test, the
// check of a vss::Error and late-bound calls made by hand.
#pragma once

#include <gtest/gtest.h>

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <functional>
#include <string>
#include <vector>

#include "vss/com/unique_com.h"
#include "vss/port.h"

namespace comtest {

// The test thread lives in a single-threaded apartment, as the program's window thread does.
class ApartmentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override { CoUninitialize(); }
};

// Writes the default value of a key below HKEY_CLASSES_ROOT, for a class the test registers.
inline void setClassesValue(const std::wstring& key, const std::wstring& value) {
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

// Runs `call`, which must fail with vss::Error of `status` and exactly `description`.
inline ::testing::AssertionResult failsWith(const std::function<void()>& call, std::int32_t status,
                                            const std::wstring& description) {
  try {
    call();
  } catch (const vss::Error& error) {
    if (error.status() == status && error.description() == description)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "failed with 0x" << std::hex << error.status() << " "
                                         << ::testing::PrintToString(error.description());
  }
  return ::testing::AssertionFailure() << "did not fail";
}

// The member id that `object` gives for `name`, or DISPID_UNKNOWN.
inline DISPID dispidOf(IDispatch* object, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    return DISPID_UNKNOWN;
  }
  return id;
}

// A late-bound call made by hand, the way a script client makes it: arguments given left to
// right and owned by the call, the member named or given by id, the kind of call chosen freely.
class RawCall {
 public:
  RawCall& text(const wchar_t* value) {
    add(VT_BSTR).bstrVal = SysAllocString(value);
    return *this;
  }
  RawCall& boolean(bool value) {
    add(VT_BOOL).boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return *this;
  }
  RawCall& object(IDispatch* value) {
    value->AddRef();
    add(VT_DISPATCH).pdispVal = value;
    return *this;
  }
  // A VARIANT passed by reference: the callee may change what `target` holds.
  RawCall& variantRef(VARIANT* target) {
    add(VT_VARIANT | VT_BYREF).pvarVal = target;
    return *this;
  }

  // Invokes member `id` with `flags`; the result, if any, goes to `result`.
  HRESULT invoke(IDispatch* target, DISPID id, WORD flags, VARIANT* result = nullptr) {
    std::vector<VARIANTARG> reversed(args_.rbegin(), args_.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception{};
    const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                      &exception, nullptr);
    if (hr == DISP_E_EXCEPTION) {
      SetErrorInfo(0, nullptr);  // the failure's error object, which no one else will read
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
      return exception.scode;
    }
    return hr;
  }
  HRESULT invoke(IDispatch* target, const wchar_t* name, WORD flags, VARIANT* result = nullptr) {
    return invoke(target, dispidOf(target, name), flags, result);
  }

  RawCall() = default;
  RawCall(const RawCall&) = delete;
  RawCall& operator=(const RawCall&) = delete;
  ~RawCall() {
    for (VARIANT& arg : args_) VariantClear(&arg);
  }

 private:
  VARIANT& add(VARTYPE type) {
    VariantInit(&args_.emplace_back());
    args_.back().vt = type;
    return args_.back();
  }
  std::vector<VARIANT> args_;
};

// The object result of a call made by hand, or an empty pointer.
inline vss::com::ComPtr<IDispatch> objectOf(vss::com::UniqueVariant& result) {
  if (result.vt() != VT_DISPATCH) return {};
  return vss::com::ComPtr<IDispatch>::copyFrom(result.get()->pdispVal);
}

// A new object of class `clsid` reached through IDispatch, or an empty pointer.
inline vss::com::ComPtr<IDispatch> createObject(const CLSID& clsid) {
  vss::com::ComPtr<IDispatch> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(object.put()));
  return object;
}

// The item `spec` of a database object, asked for by hand, or an empty pointer.
inline vss::com::ComPtr<IDispatch> itemOf(IDispatch* database, const wchar_t* spec) {
  vss::com::UniqueVariant result;
  if (database != nullptr)
    RawCall().text(spec).invoke(database, L"VSSItem", DISPATCH_PROPERTYGET, result.put());
  return objectOf(result);
}

}  // namespace comtest
