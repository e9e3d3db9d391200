// The enumerators behind _NewEnum of VSSItems and VSSVersions, answering Next the way their
// EnumeratorKind says.
#include <algorithm>
#include <new>
#include <utility>

#include "standin/com/objects.h"

namespace standin::com {

namespace {

// The most elements a ShortBatches enumerator gives in one call.
constexpr ULONG kShortBatch = 3;

// Reference counting, Next and Skip of both enumerators. A derived class produces the next
// element, or an empty pointer after the last.
class Enumerator : public ComObject<IEnumVARIANT> {
 public:
  explicit Enumerator(EnumeratorKind kind) noexcept : kind_(kind) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* elements, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;

 protected:
  virtual ComPtr<IDispatch> produce() = 0;
  EnumeratorKind kind() const noexcept { return kind_; }

 private:
  void* interfaceFor(REFIID iid) noexcept final {
    return IsEqualIID(iid, IID_IEnumVARIANT) ? static_cast<IEnumVARIANT*>(this) : nullptr;
  }

  EnumeratorKind kind_;
};

// Fills `elements` until `wanted` are there or none is left (fewer for a ShortBatches
// enumerator); on a failure clears what was filled and returns the failure.
HRESULT STDMETHODCALLTYPE Enumerator::Next(ULONG wanted, VARIANT* elements, ULONG* fetched) {
  ++dispatchCounters().enumeratorPulls;
  if (fetched != nullptr) *fetched = 0;
  if (elements == nullptr || (fetched == nullptr && wanted > 1)) return E_POINTER;
  if (kind_ == EnumeratorKind::RefusesBatches && wanted > 1) return E_INVALIDARG;
  const ULONG limit =
      kind_ == EnumeratorKind::ShortBatches ? std::min(wanted, kShortBatch) : wanted;
  ULONG filled = 0;
  try {
    for (; filled < limit; ++filled) {
      VariantInit(&elements[filled]);
      ComPtr<IDispatch> element = produce();
      if (!element) break;
      setObject(elements[filled], std::move(element));
    }
  } catch (const vss::Error& error) {
    for (ULONG i = 0; i < filled; ++i) VariantClear(&elements[i]);
    return reportFailure(error.status(), error.description(), nullptr);
  } catch (const std::bad_alloc&) {
    for (ULONG i = 0; i < filled; ++i) VariantClear(&elements[i]);
    return E_OUTOFMEMORY;
  }
  if (fetched != nullptr) *fetched = filled;
  if (kind_ == EnumeratorKind::ShortBatches) return filled > 0 ? S_OK : S_FALSE;
  return filled == wanted ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE Enumerator::Skip(ULONG count) {
  try {
    for (ULONG i = 0; i < count; ++i) {
      if (!produce()) return S_FALSE;
    }
    return S_OK;
  } catch (const vss::Error& error) {
    return reportFailure(error.status(), error.description(), nullptr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// The children a project had when Items was read; clones share the list.
class ItemEnumerator final : public Enumerator {
 public:
  ItemEnumerator(std::shared_ptr<const ItemList> items, EnumeratorKind kind, size_t position = 0)
      : Enumerator(kind), items_(std::move(items)), position_(position) {}

  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (out == nullptr) return E_POINTER;
    try {
      *out = makeObject<ItemEnumerator>(items_, kind(), position_).release();
      return S_OK;
    } catch (const std::bad_alloc&) {
      *out = nullptr;
      return E_OUTOFMEMORY;
    }
  }

 protected:
  ComPtr<IDispatch> produce() override {
    if (position_ >= items_->size()) return {};
    return makeItemObject((*items_)[position_++], kind());
  }

 private:
  std::shared_ptr<const ItemList> items_;
  size_t position_;
};

// Pulls records from the port's cursor only as the client asks for them.
class VersionEnumerator final : public Enumerator {
 public:
  VersionEnumerator(ItemPtr item, int flags, std::unique_ptr<vss::VersionCursor> cursor,
                    EnumeratorKind kind)
      : Enumerator(kind), item_(std::move(item)), flags_(flags), cursor_(std::move(cursor)) {}

  // Reads the history again from its newest record: the open one is closed first.
  HRESULT STDMETHODCALLTYPE Reset() override {
    try {
      cursor_.reset();
      cursor_ = item_->versions(flags_);
      return S_OK;
    } catch (const vss::Error& error) {
      return reportFailure(error.status(), error.description(), nullptr);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // A copy would be a second open history: the library's enumerator has none (E_NOTIMPL).
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }

 protected:
  ComPtr<IDispatch> produce() override {
    if (!cursor_) return {};
    std::unique_ptr<vss::Version> version = cursor_->next();
    if (!version) {
      cursor_.reset();
      return {};
    }
    return makeVersionObject(std::move(version));
  }

 private:
  ItemPtr item_;
  int flags_;
  std::unique_ptr<vss::VersionCursor> cursor_;
};

}  // namespace

ComPtr<IEnumVARIANT> makeItemEnumerator(std::shared_ptr<const ItemList> items,
                                        EnumeratorKind kind) {
  return ComPtr<IEnumVARIANT>::attach(makeObject<ItemEnumerator>(std::move(items), kind).release());
}

ComPtr<IEnumVARIANT> makeVersionEnumerator(ItemPtr item, int flags,
                                           std::unique_ptr<vss::VersionCursor> cursor,
                                           EnumeratorKind kind) {
  return ComPtr<IEnumVARIANT>::attach(
      makeObject<VersionEnumerator>(std::move(item), flags, std::move(cursor), kind).release());
}

}  // namespace standin::com
