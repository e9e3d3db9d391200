// VSSDatabase, VSSItem, VSSItems, VSSVersions and VSSVersion over the vss port, with the
// members and argument conventions of the real automation library.
#include "standin/com/server_objects.h"

#include <memory>
#include <string>
#include <vector>

#include "standin/com/dispatch_object.h"
#include "standin/details.h"

namespace standin::com {

namespace {

// Private interface of the server's items: lets Share take an item object of any database
// object of this server and reach the port item inside it.
struct IPortItem : public IUnknown {
  virtual vss::Item* STDMETHODCALLTYPE portItem() = 0;
};
// {8F0F7C52-3B1E-4C55-9E2B-2E6A6B3D4A11}
constexpr IID kIidPortItem = {
    0x8f0f7c52, 0x3b1e, 0x4c55, {0x9e, 0x2b, 0x2e, 0x6a, 0x6b, 0x3d, 0x4a, 0x11}};

using ItemPtr = std::shared_ptr<vss::Item>;
using ItemList = std::vector<ItemPtr>;

void setBool(VARIANT& result, bool value) noexcept {
  result.vt = VT_BOOL;
  result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setInt32(VARIANT& result, long value) noexcept {
  result.vt = VT_I4;
  result.lVal = value;
}

bool sameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Reference counting and QueryInterface of the collection enumerators.
class EnumeratorBase : public IEnumVARIANT {
 public:
  EnumeratorBase() noexcept { ++liveObjectCount(); }
  virtual ~EnumeratorBase() { --liveObjectCount(); }
  EnumeratorBase(const EnumeratorBase&) = delete;
  EnumeratorBase& operator=(const EnumeratorBase&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumVARIANT)) {
      *out = static_cast<IEnumVARIANT*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      // The object owns itself (see makeObject).
      std::unique_ptr<EnumeratorBase> self(this);
    }
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// Fills `elements` by calling `produce` until it gives no more or `wanted` are there; on a
// failure clears what was filled and returns the failure.
template <class Produce>
HRESULT fillElements(ULONG wanted, VARIANT* elements, ULONG* fetched, Produce produce) {
  ++dispatchCounters().enumeratorPulls;
  if (fetched != nullptr) *fetched = 0;
  if (elements == nullptr || (fetched == nullptr && wanted > 1)) return E_POINTER;
  ULONG filled = 0;
  try {
    for (; filled < wanted; ++filled) {
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
  return filled == wanted ? S_OK : S_FALSE;
}

ComPtr<IDispatch> makeItemObject(ItemPtr item);

// ---- VSSVersion ----

class VersionObject final : public DispatchObject {
 public:
  explicit VersionObject(std::unique_ptr<vss::Version> version)
      : version_(std::move(version)),
        details_(dynamic_cast<standin::VersionDetails*>(version_.get())) {}

 protected:
  enum : DISPID { kUsername = 1, kVersionNumber, kAction, kDate, kComment, kLabel };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Username", kUsername, MemberKind::Property},
        {L"VersionNumber", kVersionNumber, MemberKind::Property},
        {L"Action", kAction, MemberKind::Property},
        {L"Date", kDate, MemberKind::Property},
        {L"Comment", kComment, MemberKind::Property},
        {L"Label", kLabel, MemberKind::Property},
    };
    return kMembers;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    args.expectCount(0, 0);
    switch (id) {
      case kUsername:
        setString(result, version_->username());
        break;
      case kVersionNumber:
        setInt32(result, details_ ? details_->versionNumber() : 0);
        break;
      case kAction:
        setString(result, details_ ? details_->action() : std::wstring());
        break;
      case kDate:
        result.vt = VT_DATE;
        result.date = version_->date();
        break;
      case kComment:
        setString(result, details_ ? details_->comment() : std::wstring());
        break;
      case kLabel:
        setString(result, details_ ? details_->label() : std::wstring());
        break;
    }
  }

 private:
  std::unique_ptr<vss::Version> version_;
  standin::VersionDetails* details_;
};

// ---- VSSVersions and its enumerator ----

// Pulls records from the port's cursor only as the client asks for them.
class VersionEnumerator final : public EnumeratorBase {
 public:
  VersionEnumerator(ItemPtr item, int flags, std::unique_ptr<vss::VersionCursor> cursor)
      : item_(std::move(item)), flags_(flags), cursor_(std::move(cursor)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* elements, ULONG* fetched) override {
    return fillElements(wanted, elements, fetched, [this]() -> ComPtr<IDispatch> {
      if (!cursor_) return {};
      std::unique_ptr<vss::Version> version = cursor_->next();
      if (!version) {
        cursor_.reset();
        return {};
      }
      ++position_;
      return dispatchOf(makeObject<VersionObject>(std::move(version)));
    });
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    for (ULONG i = 0; i < count; ++i) {
      VARIANT element;
      ULONG fetched = 0;
      const HRESULT hr = Next(1, &element, &fetched);
      if (FAILED(hr)) return hr;
      if (fetched == 0) return S_FALSE;
      VariantClear(&element);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    try {
      cursor_ = item_->versions(flags_);
      position_ = 0;
      return S_OK;
    } catch (const vss::Error& error) {
      return reportFailure(error.status(), error.description(), nullptr);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    try {
      auto copy = makeObject<VersionEnumerator>(item_, flags_, item_->versions(flags_));
      const HRESULT hr = copy->Skip(position_);
      if (FAILED(hr)) return hr;
      *out = copy.release();
      return S_OK;
    } catch (const vss::Error& error) {
      return reportFailure(error.status(), error.description(), nullptr);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  ItemPtr item_;
  int flags_;
  std::unique_ptr<vss::VersionCursor> cursor_;
  ULONG position_ = 0;
};

class VersionsObject final : public DispatchObject {
 public:
  VersionsObject(ItemPtr item, int flags, std::unique_ptr<vss::VersionCursor> first)
      : item_(std::move(item)), flags_(flags), first_(std::move(first)) {}

 protected:
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"_NewEnum", DISPID_NEWENUM, MemberKind::Property},
    };
    return kMembers;
  }

  void call(DISPID, const Args& args, VARIANT& result) override {
    args.expectCount(0, 0);
    // The history was read when the collection was made; a second enumeration reads it again.
    std::unique_ptr<vss::VersionCursor> cursor =
        first_ ? std::move(first_) : item_->versions(flags_);
    auto enumerator = makeObject<VersionEnumerator>(item_, flags_, std::move(cursor));
    result.vt = VT_UNKNOWN;
    result.punkVal = enumerator.release();
  }

 private:
  ItemPtr item_;
  int flags_;
  std::unique_ptr<vss::VersionCursor> first_;
};

// ---- VSSItems and its enumerator ----

class ItemEnumerator final : public EnumeratorBase {
 public:
  explicit ItemEnumerator(std::shared_ptr<const ItemList> items, size_t position = 0)
      : items_(std::move(items)), position_(position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* elements, ULONG* fetched) override {
    return fillElements(wanted, elements, fetched, [this]() -> ComPtr<IDispatch> {
      if (position_ >= items_->size()) return {};
      return makeItemObject((*items_)[position_++]);
    });
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const size_t left = items_->size() - position_;
    if (count > left) {
      position_ = items_->size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (out == nullptr) return E_POINTER;
    try {
      *out = makeObject<ItemEnumerator>(items_, position_).release();
      return S_OK;
    } catch (const std::bad_alloc&) {
      *out = nullptr;
      return E_OUTOFMEMORY;
    }
  }

 private:
  std::shared_ptr<const ItemList> items_;
  size_t position_;
};

class ItemsObject final : public DispatchObject {
 public:
  explicit ItemsObject(std::shared_ptr<const ItemList> items) : items_(std::move(items)) {}

 protected:
  enum : DISPID { kCount = 1 };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Count", kCount, MemberKind::Property},
        {L"Item", DISPID_VALUE, MemberKind::Property},
        {L"_NewEnum", DISPID_NEWENUM, MemberKind::Property},
    };
    return kMembers;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    switch (id) {
      case kCount:
        args.expectCount(0, 0);
        setInt32(result, static_cast<long>(items_->size()));
        break;
      case DISPID_VALUE: {
        // Item(index): a 1-based position, or a child's name in any letter case.
        args.expectCount(1, 1);
        const VARIANT& index = args.at(0);
        if (index.vt == VT_BSTR || index.vt == (VT_BSTR | VT_BYREF)) {
          const std::wstring name = args.string(0);
          for (const ItemPtr& item : *items_) {
            if (sameNameIgnoringCase(item->name(), name)) {
              setObject(result, makeItemObject(item));
              return;
            }
          }
          throw vss::Error(vss::kNotFound, L"File or project not found");
        }
        const long position = args.int32(0, 0);
        if (position < 1 || static_cast<size_t>(position) > items_->size()) {
          throw vss::Error(DISP_E_BADINDEX, L"Invalid index");
        }
        setObject(result, makeItemObject((*items_)[static_cast<size_t>(position) - 1]));
        break;
      }
      case DISPID_NEWENUM: {
        args.expectCount(0, 0);
        auto enumerator = makeObject<ItemEnumerator>(items_);
        result.vt = VT_UNKNOWN;
        result.punkVal = enumerator.release();
        break;
      }
    }
  }

 private:
  std::shared_ptr<const ItemList> items_;
};

// ---- VSSItem ----

class ItemObject final : public DispatchObject, public IPortItem {
 public:
  explicit ItemObject(ItemPtr item)
      : item_(std::move(item)), details_(dynamic_cast<standin::ItemDetails*>(item_.get())) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return DispatchObject::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return DispatchObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DispatchObject::Release(); }
  vss::Item* STDMETHODCALLTYPE portItem() override { return item_.get(); }

 protected:
  enum : DISPID {
    kSpec = 1,
    kDeleted,
    kType,
    kName,
    kParent,
    kItems,
    kVersions,
    kGet,
    kShare,
    kNewSubproject,
    kVersionNumber,
  };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Spec", kSpec, MemberKind::Property},
        {L"Deleted", kDeleted, MemberKind::Property},
        {L"Type", kType, MemberKind::Property},
        {L"Name", kName, MemberKind::Property},
        {L"Parent", kParent, MemberKind::Property},
        {L"Items", kItems, MemberKind::Property},
        {L"Versions", kVersions, MemberKind::Property},
        {L"Get", kGet, MemberKind::Method},
        {L"Share", kShare, MemberKind::Method},
        {L"NewSubproject", kNewSubproject, MemberKind::Method},
        {L"VersionNumber", kVersionNumber, MemberKind::Property},
    };
    return kMembers;
  }

  void* otherInterface(REFIID iid) noexcept override {
    return IsEqualIID(iid, kIidPortItem) ? static_cast<IPortItem*>(this) : nullptr;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    switch (id) {
      case kSpec:
        args.expectCount(0, 0);
        setString(result, item_->spec());
        break;
      case kDeleted:
        args.expectCount(0, 0);
        setBool(result, details_ != nullptr && details_->deleted());
        break;
      case kType:
        args.expectCount(0, 0);
        setInt32(result, item_->type());
        break;
      case kName:
        args.expectCount(0, 0);
        setString(result, item_->name());
        break;
      case kParent: {
        args.expectCount(0, 0);
        std::unique_ptr<vss::Item> parent = item_->parent();
        setObject(result, parent ? makeItemObject(std::move(parent)) : ComPtr<IDispatch>());
        break;
      }
      case kItems: {
        args.expectCount(0, 1);
        std::vector<std::unique_ptr<vss::Item>> children = item_->items(args.boolean(0, false));
        auto list = std::make_shared<ItemList>();
        list->reserve(children.size());
        for (auto& child : children) list->push_back(std::move(child));
        setObject(result, dispatchOf(makeObject<ItemsObject>(std::move(list))));
        break;
      }
      case kVersions: {
        args.expectCount(0, 1);
        const int flags = static_cast<int>(args.int32(0, 0));
        // Read now, so that a history that cannot be read fails this call.
        std::unique_ptr<vss::VersionCursor> cursor = item_->versions(flags);
        setObject(result, dispatchOf(makeObject<VersionsObject>(item_, flags, std::move(cursor))));
        break;
      }
      case kGet: {
        args.expectCount(1, 2);
        BSTR* slot = args.stringSlot(0);
        std::wstring local = args.string(0);
        const std::wstring given = local;
        item_->get(local, static_cast<int>(args.int32(1, 0)));
        if (slot != nullptr && local != given) {
          UniqueBstr replaced(local);
          SysFreeString(*slot);
          *slot = replaced.release();
        }
        break;
      }
      case kShare: {
        args.expectCount(1, 3);
        ComPtr<IDispatch> other = ComPtr<IDispatch>::copyFrom(args.object(0));
        ComPtr<IPortItem> source;
        if (FAILED(other.query(kIidPortItem, source)) || !source) {
          throw ArgumentError{DISP_E_TYPEMISMATCH, 0};
        }
        item_->share(*source->portItem(), args.string(1, L""), static_cast<int>(args.int32(2, 0)));
        break;
      }
      case kNewSubproject: {
        args.expectCount(1, 2);
        std::unique_ptr<vss::Item> created =
            item_->newSubproject(args.string(0), args.string(1, L""));
        setObject(result, makeItemObject(std::move(created)));
        break;
      }
      case kVersionNumber:
        args.expectCount(0, 0);
        setInt32(result, details_ != nullptr ? details_->versionNumber() : 0);
        break;
    }
  }

 private:
  ItemPtr item_;
  standin::ItemDetails* details_;
};

ComPtr<IDispatch> makeItemObject(ItemPtr item) {
  if (!item) return {};
  return dispatchOf(makeObject<ItemObject>(std::move(item)));
}

// ---- VSSDatabase and its class factory ----

class DatabaseObject final : public DispatchObject {
 public:
  explicit DatabaseObject(vss::Library& library) : database_(library.newDatabase()) {}

 protected:
  enum : DISPID { kOpen = 1, kVssItem };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Open", kOpen, MemberKind::Method},
        {L"VSSItem", kVssItem, MemberKind::Property},
    };
    return kMembers;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    switch (id) {
      case kOpen:
        args.expectCount(0, 3);
        database_->open(args.string(0, L""), args.string(1, L""), args.string(2, L""));
        break;
      case kVssItem: {
        args.expectCount(1, 2);
        std::unique_ptr<vss::Item> item =
            database_->vssItem(args.string(0), args.boolean(1, false));
        setObject(result, makeItemObject(std::move(item)));
        break;
      }
    }
  }

 private:
  std::unique_ptr<vss::Database> database_;
};

class DatabaseFactory final : public IClassFactory {
 public:
  explicit DatabaseFactory(vss::Library& library) : library_(library) { ++liveObjectCount(); }
  ~DatabaseFactory() { --liveObjectCount(); }
  DatabaseFactory(const DatabaseFactory&) = delete;
  DatabaseFactory& operator=(const DatabaseFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      // The object owns itself (see makeObject).
      std::unique_ptr<DatabaseFactory> self(this);
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<DatabaseObject> database = makeObject<DatabaseObject>(library_);
      return database->QueryInterface(iid, out);
    } catch (const vss::Error& error) {
      return reportFailure(error.status(), error.description(), nullptr);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception&) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++serverLockCount();
    } else {
      --serverLockCount();
    }
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  vss::Library& library_;
};

}  // namespace

vss::com::ComPtr<IClassFactory> makeDatabaseFactory(vss::Library& library) {
  ComPtr<DatabaseFactory> factory = makeObject<DatabaseFactory>(library);
  return ComPtr<IClassFactory>::attach(factory.release());
}

bool canUnloadServer() { return liveObjectCount() == 0 && serverLockCount() == 0; }

DispatchCounts dispatchCounts() {
  DispatchCounters& counters = dispatchCounters();
  return {counters.namesLookedUp.load(), counters.calls.load(), counters.enumeratorPulls.load()};
}

void resetDispatchCounts() {
  DispatchCounters& counters = dispatchCounters();
  counters.namesLookedUp = 0;
  counters.calls = 0;
  counters.enumeratorPulls = 0;
}

}  // namespace standin::com
