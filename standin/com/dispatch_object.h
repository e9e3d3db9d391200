// The hand-written IDispatch of the stand-in server's objects: a member table shaped like the
// automation library's type library (DISPID, property get or method, required and optional
// argument counts) looked up without letter case as OLE does, positional arguments read the way
// automation passes them, and failures reported both as exception information and through the
// thread's error object.
#pragma once

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <oaidl.h>
// clang-format on

#include <atomic>
#include <span>
#include <string>

#include "standin/com/com_object.h"
#include "vss/com/unique_com.h"
#include "vss/port.h"

namespace standin::com {

using vss::com::UniqueBstr;
using vss::com::UniqueVariant;

// Counters of the server's calls, for the tests and the benchmark.
struct DispatchCounters {
  std::atomic<long> namesLookedUp{0};    // GetIDsOfNames calls
  std::atomic<long> calls{0};            // Invoke calls
  std::atomic<long> enumeratorPulls{0};  // IEnumVARIANT::Next calls
};
DispatchCounters& dispatchCounters();

// How a member is declared, and so how Invoke must be asked for it: a property is read with
// DISPATCH_PROPERTYGET, a method called with DISPATCH_METHOD (script clients pass both when they
// cannot tell). A call of the other kind fails with DISP_E_MEMBERNOTFOUND, as the type library's
// own Invoke answers it.
enum class MemberKind { PropertyGet, Method };

// One member of an object type as its type library declares it.
struct MemberEntry {
  const wchar_t* name;
  DISPID id;
  MemberKind kind;
  UINT required = 0;  // arguments that must be given
  UINT optional = 0;  // arguments after them that may be left out (each has a declared default)
};

// A bad argument of a call: the status Invoke returns and the argument's position (left to
// right).
struct ArgumentError {
  HRESULT status;
  UINT position;
};

// The positional arguments of one Invoke, read left to right. Optional arguments may be left
// out at the end or passed as VT_ERROR/DISP_E_PARAMNOTFOUND.
class Args {
 public:
  explicit Args(const DISPPARAMS& params) : params_(params) {}

  UINT count() const noexcept { return params_.cArgs; }
  bool present(UINT position) const noexcept;

  std::wstring string(UINT position) const;
  std::wstring string(UINT position, const wchar_t* fallback) const;
  bool boolean(UINT position, bool fallback) const;
  long int32(UINT position, long fallback) const;
  // The object argument, borrowed for the call.
  IDispatch* object(UINT position) const;
  // The string slot of an in/out string argument, either a BSTR passed by reference or a
  // VARIANT passed by reference that holds a string (as script clients pass it); nullptr when
  // the argument is left out or passed by value (the caller then sees no change).
  BSTR* stringSlot(UINT position) const;
  // The argument itself, with a by-reference VARIANT followed.
  const VARIANT& at(UINT position) const;

 private:
  UniqueVariant converted(UINT position, VARTYPE type) const;
  const DISPPARAMS& params_;
};

// Base of every IDispatch object of the server. Derived classes give their member table and
// perform a call by member id; the argument count has been checked against the table by then. A
// vss::Error thrown there becomes the call's failure.
class DispatchObject : public ComObject<IDispatch, ISupportErrorInfo> {
 public:
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

 protected:
  virtual std::span<const MemberEntry> members() const noexcept = 0;
  // Performs member `id` (already known to be in the table); `result` is empty on entry.
  virtual void call(DISPID id, const Args& args, VARIANT& result) = 0;
  // Further interfaces of the object, or nullptr.
  virtual void* otherInterface(REFIID) noexcept { return nullptr; }

 private:
  void* interfaceFor(REFIID iid) noexcept final;
};

// The IDispatch of a server object, taking over its reference.
template <class T>
ComPtr<IDispatch> dispatchOf(ComPtr<T> object) noexcept {
  return ComPtr<IDispatch>::attach(static_cast<DispatchObject*>(object.release()));
}

// Sets the thread's error object and, when `exception` is given, fills it; returns what Invoke
// returns for this failure.
HRESULT reportFailure(std::int32_t status, const std::wstring& description, EXCEPINFO* exception);

// Results of the types the type library declares: an object (the result takes the reference),
// BSTR, VARIANT_BOOL, int, long and DATE.
void setObject(VARIANT& result, ComPtr<IDispatch> object) noexcept;
void setString(VARIANT& result, const std::wstring& text);
void setBool(VARIANT& result, bool value) noexcept;
void setInt(VARIANT& result, int value) noexcept;
void setLong(VARIANT& result, long value) noexcept;
void setDate(VARIANT& result, double value) noexcept;

}  // namespace standin::com
