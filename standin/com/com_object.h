// The one reference-counting base of the stand-in server's COM objects: AddRef, Release and
// QueryInterface written once, the count of live objects that DllCanUnloadNow reads, and the
// helper that makes an object holding the reference it is born with.
#pragma once

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

#include <atomic>
#include <memory>
#include <utility>

#include "vss/com/unique_com.h"

namespace standin::com {

using vss::com::ComPtr;

// Objects and server locks alive, for DllCanUnloadNow.
std::atomic<long>& liveObjectCount();
std::atomic<long>& serverLockCount();

// Implements IUnknown for an object with the interfaces `Primary` and `Others`. `Primary` is
// the object's identity (what IUnknown gives); a derived class names its other interfaces in
// interfaceFor. One override of AddRef, Release and QueryInterface serves every base interface.
template <class Primary, class... Others>
class ComObject : public Primary, public Others... {
 public:
  ComObject() noexcept { ++liveObjectCount(); }
  virtual ~ComObject() { --liveObjectCount(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) final {
    if (out == nullptr) return E_POINTER;
    *out = IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(static_cast<Primary*>(this))
                                         : interfaceFor(iid);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() final { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() final {
    const ULONG left = --references_;
    if (left == 0) {
      // The object owns itself (see makeObject).
      std::unique_ptr<ComObject> self(this);
    }
    return left;
  }

 protected:
  // The interface pointer for `iid` (never IUnknown), or nullptr when the object has none.
  virtual void* interfaceFor(REFIID iid) noexcept = 0;

 private:
  std::atomic<ULONG> references_{1};
};

// Makes a COM object holding the one reference it is born with.
template <class T, class... A>
ComPtr<T> makeObject(A&&... args) {
  // COM objects own themselves: Release deletes them when the last reference goes.
  return ComPtr<T>::attach(std::make_unique<T>(std::forward<A>(args)...).release());
}

}  // namespace standin::com
