// VSSItem and VSSItems over the port's items: the members of IVSSItem and IVSSItems that the
// stand-in serves, with the argument conventions of the automation library.
#include <utility>

#include "standin/com/objects.h"
#include "standin/details.h"

namespace standin::com {

namespace {

// Marks the server's own item objects: QueryInterface for it answers with the object's
// IDispatch only when the object is an ItemObject of this server, so that Share can take an
// item of any database object of the server and reach the port item inside it.
// {8F0F7C52-3B1E-4C55-9E2B-2E6A6B3D4A11}
constexpr IID kIidServerItem = {
    0x8f0f7c52, 0x3b1e, 0x4c55, {0x9e, 0x2b, 0x2e, 0x6a, 0x6b, 0x3d, 0x4a, 0x11}};

// The declared defaults of the optional arguments.
constexpr bool kLiveChildrenOnly = false;  // Items(IncludeDeleted)
constexpr long kNoFlags = 0;               // Versions(iFlags), Get(, iFlags), Share(,, iFlags)
constexpr const wchar_t* kNoText = L"";    // Share(, Comment), NewSubproject(, Comment)

bool sameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

class ItemsObject final : public DispatchObject {
 public:
  ItemsObject(std::shared_ptr<const ItemList> items, EnumeratorKind enumerators)
      : items_(std::move(items)), enumerators_(enumerators) {}

 protected:
  // The DISPIDs of IVSSItems: Item is the default member, _NewEnum the (restricted, hidden)
  // method that returns the enumerator as IUnknown.
  enum : DISPID { kCount = 1 };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Count", kCount, MemberKind::PropertyGet},
        {.name = L"Item", .id = DISPID_VALUE, .kind = MemberKind::PropertyGet, .required = 1},
        {L"_NewEnum", DISPID_NEWENUM, MemberKind::Method},
    };
    return kMembers;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    switch (id) {
      case kCount:
        setLong(result, static_cast<long>(items_->size()));
        break;
      case DISPID_VALUE:
        setObject(result, item(args));
        break;
      case DISPID_NEWENUM:
        result.vt = VT_UNKNOWN;
        result.punkVal = makeItemEnumerator(items_, enumerators_).release();
        break;
    }
  }

 private:
  // Item(index): a 1-based position, or a child's name in any letter case.
  ComPtr<IDispatch> item(const Args& args) const {
    const VARIANT& index = args.at(0);
    if (index.vt == VT_BSTR || index.vt == (VT_BSTR | VT_BYREF)) {
      const std::wstring name = args.string(0);
      for (const ItemPtr& child : *items_) {
        if (sameNameIgnoringCase(child->name(), name)) return makeItemObject(child, enumerators_);
      }
      throw vss::Error(vss::kNotFound, L"File or project not found");
    }
    const long position = args.int32(0, 0);
    if (position < 1 || static_cast<size_t>(position) > items_->size()) {
      throw vss::Error(DISP_E_BADINDEX, L"Invalid index");
    }
    return makeItemObject((*items_)[static_cast<size_t>(position) - 1], enumerators_);
  }

  std::shared_ptr<const ItemList> items_;
  EnumeratorKind enumerators_;
};

class ItemObject final : public DispatchObject {
 public:
  ItemObject(ItemPtr item, EnumeratorKind enumerators)
      : item_(std::move(item)),
        details_(dynamic_cast<standin::ItemDetails*>(item_.get())),
        enumerators_(enumerators) {}

  vss::Item& portItem() const noexcept { return *item_; }

 protected:
  // The DISPIDs of IVSSItem (SSAPI.DLL 6.0).
  enum : DISPID {
    kSpec = 1,
    kDeleted = 3,
    kType = 4,
    kName = 6,
    kParent = 7,
    kVersionNumber = 8,
    kItems = 9,
    kGet = 10,
    kNewSubproject = 18,
    kShare = 19,
    kVersions = 23,
    kLinks = 25,
  };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Spec", kSpec, MemberKind::PropertyGet},
        {L"Deleted", kDeleted, MemberKind::PropertyGet},
        {L"Type", kType, MemberKind::PropertyGet},
        {L"Name", kName, MemberKind::PropertyGet},
        {L"Parent", kParent, MemberKind::PropertyGet},
        {L"VersionNumber", kVersionNumber, MemberKind::PropertyGet},
        {.name = L"Items", .id = kItems, .kind = MemberKind::PropertyGet, .optional = 1},
        {.name = L"Get", .id = kGet, .kind = MemberKind::Method, .optional = 2},
        {.name = L"NewSubproject",
         .id = kNewSubproject,
         .kind = MemberKind::Method,
         .required = 1,
         .optional = 1},
        {.name = L"Share", .id = kShare, .kind = MemberKind::Method, .required = 1, .optional = 2},
        {.name = L"Versions", .id = kVersions, .kind = MemberKind::PropertyGet, .optional = 1},
        {L"Links", kLinks, MemberKind::PropertyGet},
    };
    return kMembers;
  }

  void* otherInterface(REFIID iid) noexcept override {
    return IsEqualIID(iid, kIidServerItem) ? static_cast<IDispatch*>(this) : nullptr;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    switch (id) {
      case kSpec:
        setString(result, item_->spec());
        break;
      case kDeleted:
        setBool(result, details_ != nullptr && details_->deleted());
        break;
      case kType:
        setInt(result, item_->type());
        break;
      case kName:
        setString(result, item_->name());
        break;
      case kParent: {
        std::unique_ptr<vss::Item> parent = item_->parent();
        setObject(result, makeItemObject(std::move(parent), enumerators_));
        break;
      }
      case kItems:
        setObject(result, itemsObject(item_->items(args.boolean(0, kLiveChildrenOnly))));
        break;
      case kLinks:
        setObject(result, itemsObject(item_->links()));
        break;
      case kVersions:
        // As the library does, the collection reads nothing: the history is read (and a history
        // that cannot be read fails) at _NewEnum.
        setObject(result, makeVersionsObject(item_, static_cast<int>(args.int32(0, kNoFlags)),
                                             enumerators_));
        break;
      case kGet:
        get(args);
        break;
      case kShare:
        item_->share(serverItem(args.object(0), 0), args.string(1, kNoText),
                     static_cast<int>(args.int32(2, kNoFlags)));
        break;
      case kNewSubproject:
        setObject(result,
                  makeItemObject(item_->newSubproject(args.string(0), args.string(1, kNoText)),
                                 enumerators_));
        break;
      case kVersionNumber:
        setLong(result, item_->versionNumber());
        break;
    }
  }

 private:
  ComPtr<IDispatch> itemsObject(std::vector<std::unique_ptr<vss::Item>> children) const {
    auto list = std::make_shared<ItemList>();
    list->reserve(children.size());
    for (auto& child : children) list->push_back(std::move(child));
    return makeItemsObject(std::move(list), enumerators_);
  }

  // Writes the file to the local path; an in/out path gets back the path the port wrote to. A
  // missing or empty path would mean the working folder, which the stand-in does not keep: the
  // port is then given the empty path and refuses it.
  void get(const Args& args) const {
    BSTR* slot = args.stringSlot(0);
    std::wstring local = args.string(0, kNoText);
    const std::wstring given = local;
    item_->get(local, static_cast<int>(args.int32(1, kNoFlags)));
    if (slot != nullptr && local != given) {
      UniqueBstr replaced(local);
      SysFreeString(*slot);
      *slot = replaced.release();
    }
  }

  // The port item of an item object of this server, whichever database object made it.
  static vss::Item& serverItem(IDispatch* object, UINT position) {
    ComPtr<IDispatch> marked;
    if (object == nullptr ||
        FAILED(object->QueryInterface(kIidServerItem, reinterpret_cast<void**>(marked.put())))) {
      throw ArgumentError{DISP_E_TYPEMISMATCH, position};
    }
    // The marker answers only for an ItemObject, whose IDispatch it hands back.
    return static_cast<ItemObject*>(static_cast<DispatchObject*>(marked.get()))->portItem();
  }

  ItemPtr item_;
  standin::ItemDetails* details_;
  EnumeratorKind enumerators_;
};

}  // namespace

ComPtr<IDispatch> makeItemObject(ItemPtr item, EnumeratorKind enumerators) {
  if (!item) return {};
  return dispatchOf(makeObject<ItemObject>(std::move(item), enumerators));
}

ComPtr<IDispatch> makeItemsObject(std::shared_ptr<const ItemList> items,
                                  EnumeratorKind enumerators) {
  return dispatchOf(makeObject<ItemsObject>(std::move(items), enumerators));
}

}  // namespace standin::com
