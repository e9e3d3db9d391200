// VSSDatabase and its class factory, the entry points of the stand-in server's object model,
// and the server-wide counts.
#include <exception>
#include <new>

#include "standin/com/objects.h"

namespace standin::com {

namespace {

// The declared defaults of the optional arguments.
constexpr const wchar_t* kNoText = L"";  // Open(SrcSafeIni, Username, Password)
constexpr bool kLiveItem = false;        // VSSItem(, Deleted)

class DatabaseObject final : public DispatchObject {
 public:
  DatabaseObject(vss::Library& library, EnumeratorKind enumerators)
      : database_(library.newDatabase()), enumerators_(enumerators) {}

 protected:
  // The DISPIDs of IVSSDatabase (SSAPI.DLL 6.0).
  enum : DISPID { kOpen = 1, kVssItem = 6 };
  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {.name = L"Open", .id = kOpen, .kind = MemberKind::Method, .optional = 3},
        {.name = L"VSSItem",
         .id = kVssItem,
         .kind = MemberKind::PropertyGet,
         .required = 1,
         .optional = 1},
    };
    return kMembers;
  }

  void call(DISPID id, const Args& args, VARIANT& result) override {
    switch (id) {
      case kOpen:
        database_->open(args.string(0, kNoText), args.string(1, kNoText), args.string(2, kNoText));
        break;
      case kVssItem:
        setObject(result,
                  makeItemObject(database_->vssItem(args.string(0), args.boolean(1, kLiveItem)),
                                 enumerators_));
        break;
    }
  }

 private:
  std::unique_ptr<vss::Database> database_;
  EnumeratorKind enumerators_;
};

class DatabaseFactory final : public ComObject<IClassFactory> {
 public:
  DatabaseFactory(vss::Library& library, EnumeratorKind enumerators)
      : library_(library), enumerators_(enumerators) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<DatabaseObject> database = makeObject<DatabaseObject>(library_, enumerators_);
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
  void* interfaceFor(REFIID iid) noexcept final {
    return IsEqualIID(iid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
  }

  vss::Library& library_;
  EnumeratorKind enumerators_;
};

}  // namespace

ComPtr<IClassFactory> makeDatabaseFactory(vss::Library& library, EnumeratorKind enumerators) {
  return ComPtr<IClassFactory>::attach(makeObject<DatabaseFactory>(library, enumerators).release());
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
