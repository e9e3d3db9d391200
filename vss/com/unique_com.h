// Owners for the COM resources of the automation client and the stand-in server: a BSTR, a
// VARIANT and an interface pointer. Each has one owner: copying is deleted, moving hands the
// resource over, `put()` (and `&`) releases the held resource before giving out its address,
// and the raw value is reached only through an explicit `get()`.
#pragma once

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>
// clang-format on

#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace vss::com {

class UniqueBstr {
 public:
  UniqueBstr() noexcept = default;
  explicit UniqueBstr(BSTR owned) noexcept : value_(owned) {}
  // A copy of `text`; throws std::bad_alloc when the system has no memory for it.
  explicit UniqueBstr(std::wstring_view text) {
    value_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value_ == nullptr) throw std::bad_alloc();
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  UniqueBstr(UniqueBstr&& other) noexcept : value_(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != std::addressof(other)) reset(other.release());
    return *this;
  }
  ~UniqueBstr() { reset(); }

  BSTR get() const noexcept { return value_; }
  // Releases the held string, then gives the slot to a function that fills it.
  BSTR* put() noexcept {
    reset();
    return &value_;
  }
  BSTR* operator&() noexcept { return put(); }
  // The slot without releasing it, for in/out arguments whose callee may replace the string.
  BSTR* addressof() noexcept { return &value_; }
  BSTR release() noexcept { return std::exchange(value_, nullptr); }
  void reset(BSTR owned = nullptr) noexcept {
    if (value_ != nullptr && value_ != owned) SysFreeString(value_);
    value_ = owned;
  }
  // The text, empty for a null BSTR (which automation treats as the empty string).
  std::wstring_view view() const noexcept {
    return value_ == nullptr ? std::wstring_view()
                             : std::wstring_view(value_, SysStringLen(value_));
  }

 private:
  BSTR value_ = nullptr;
};

class UniqueVariant {
 public:
  UniqueVariant() noexcept { VariantInit(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  UniqueVariant(UniqueVariant&& other) noexcept {
    value_ = other.value_;
    VariantInit(&other.value_);
  }
  UniqueVariant& operator=(UniqueVariant&& other) noexcept {
    if (this != std::addressof(other)) {
      reset();
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  ~UniqueVariant() { reset(); }

  const VARIANT* get() const noexcept { return &value_; }
  VARIANT* get() noexcept { return &value_; }
  VARIANT* put() noexcept {
    reset();
    return &value_;
  }
  VARIANT* operator&() noexcept { return put(); }
  // Hands the value to `out` (which must not hold anything) and leaves this one empty.
  void release(VARIANT* out) noexcept {
    *out = value_;
    VariantInit(&value_);
  }
  void reset() noexcept {
    VariantClear(&value_);
    VariantInit(&value_);
  }
  VARTYPE vt() const noexcept { return value_.vt; }

 private:
  VARIANT value_;
};

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : value_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != std::addressof(other)) reset(other.release());
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr attach(T* owned) noexcept {
    ComPtr result;
    result.value_ = owned;
    return result;
  }
  // Adds a reference of its own to `borrowed`.
  static ComPtr copyFrom(T* borrowed) noexcept {
    if (borrowed != nullptr) borrowed->AddRef();
    return attach(borrowed);
  }
  // A second owner of the same object, made on purpose (copying is not allowed).
  ComPtr duplicate() const noexcept { return copyFrom(value_); }

  T* get() const noexcept { return value_; }
  T* operator->() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != nullptr; }
  T** put() noexcept {
    reset();
    return &value_;
  }
  T** operator&() noexcept { return put(); }
  T* release() noexcept { return std::exchange(value_, nullptr); }
  void reset(T* owned = nullptr) noexcept {
    T* old = std::exchange(value_, owned);
    if (old != nullptr) old->Release();
  }
  // The interface U of the same object, or an empty pointer with the QueryInterface status.
  template <class U>
  HRESULT query(ComPtr<U>& out) const noexcept {
    if (value_ == nullptr) {
      out.reset();
      return E_POINTER;
    }
    return value_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out.put()));
  }
  // The same for an interface known only by its IID.
  template <class U>
  HRESULT query(REFIID iid, ComPtr<U>& out) const noexcept {
    if (value_ == nullptr) {
      out.reset();
      return E_POINTER;
    }
    return value_->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
  }

 private:
  T* value_ = nullptr;
};

}  // namespace vss::com
