// The hand-written IDispatch of the stand-in server's objects: reference counting, a member
// table looked up without letter case (as OLE does), positional arguments read the way
// automation passes them, and failures reported both as exception information and through the
// thread's error object.
#pragma once

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <oaidl.h>
// clang-format on

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "vss/com/unique_com.h"
#include "vss/port.h"

namespace standin::com {

using vss::com::ComPtr;
using vss::com::UniqueBstr;
using vss::com::UniqueVariant;

// Counters of the server's calls, for the tests and the benchmark.
struct DispatchCounters {
  std::atomic<long> namesLookedUp{0};    // GetIDsOfNames calls
  std::atomic<long> calls{0};            // Invoke calls
  std::atomic<long> enumeratorPulls{0};  // IEnumVARIANT::Next calls
};
DispatchCounters& dispatchCounters();

// Objects and server locks alive, for DllCanUnloadNow.
std::atomic<long>& liveObjectCount();
std::atomic<long>& serverLockCount();

enum class MemberKind { Property, Method };

struct MemberEntry {
  const wchar_t* name;
  DISPID id;
  MemberKind kind;
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
  // Fails the call with DISP_E_BADPARAMCOUNT unless min <= count <= max.
  void expectCount(UINT min, UINT max) const;
  bool present(UINT position) const noexcept;

  std::wstring string(UINT position) const;
  std::wstring string(UINT position, const wchar_t* fallback) const;
  bool boolean(UINT position, bool fallback) const;
  long int32(UINT position, long fallback) const;
  // The object argument, borrowed for the call.
  IDispatch* object(UINT position) const;
  // The string slot of an in/out string argument; nullptr when the caller passed the string by
  // value (it then sees no change).
  BSTR* stringSlot(UINT position) const;
  // The argument itself, with a by-reference VARIANT followed.
  const VARIANT& at(UINT position) const;

 private:
  UniqueVariant converted(UINT position, VARTYPE type) const;
  const DISPPARAMS& params_;
};

// Base of every IDispatch object of the server. Derived classes give their member table and
// perform a call by member id; a vss::Error thrown there becomes the call's failure.
class DispatchObject : public IDispatch, public ISupportErrorInfo {
 public:
  DispatchObject() noexcept { ++liveObjectCount(); }
  virtual ~DispatchObject() { --liveObjectCount(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;

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
  std::atomic<ULONG> references_{1};
};

// Makes a COM object holding the one reference it is born with.
template <class T, class... A>
ComPtr<T> makeObject(A&&... args) {
  // COM objects own themselves: Release deletes them when the last reference goes.
  return ComPtr<T>::attach(std::make_unique<T>(std::forward<A>(args)...).release());
}

// The IDispatch of a server object, taking over its reference.
template <class T>
ComPtr<IDispatch> dispatchOf(ComPtr<T> object) noexcept {
  return ComPtr<IDispatch>::attach(static_cast<DispatchObject*>(object.release()));
}

// Sets the thread's error object and, when `exception` is given, fills it; returns what Invoke
// returns for this failure.
HRESULT reportFailure(std::int32_t status, const std::wstring& description, EXCEPINFO* exception);

// Puts an object into a result (the result takes the reference).
void setObject(VARIANT& result, ComPtr<IDispatch> object) noexcept;
void setString(VARIANT& result, const std::wstring& text);

}  // namespace standin::com
