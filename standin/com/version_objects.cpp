// VSSVersion and VSSVersions over the port's history records and cursors, with the members of
// IVSSVersion and IVSSVersions as the type library declares them.
#include <utility>

#include "standin/com/objects.h"

namespace standin::com {

namespace {

class VersionObject final : public DispatchObject {
 public:
  explicit VersionObject(std::unique_ptr<vss::Version> version) : version_(std::move(version)) {}

 protected:
  // The DISPIDs of IVSSVersion (SSAPI.DLL 6.0).
  enum : DISPID {
    kUsername = 1,
    kVersionNumber = 2,
    kAction = 3,
    kDate = 4,
    kComment = 5,
    kLabel = 6,
    kLabelComment = 8
  };

  std::span<const MemberEntry> members() const noexcept override {
    static constexpr MemberEntry kMembers[] = {
        {L"Username", kUsername, MemberKind::PropertyGet},
        {L"VersionNumber", kVersionNumber, MemberKind::PropertyGet},
        {L"Action", kAction, MemberKind::PropertyGet},
        {L"Date", kDate, MemberKind::PropertyGet},
        {L"Comment", kComment, MemberKind::PropertyGet},
        {L"Label", kLabel, MemberKind::PropertyGet},
        {L"LabelComment", kLabelComment, MemberKind::PropertyGet},
    };
    return kMembers;
  }

  void call(DISPID id, const Args&, VARIANT& result) override {
    switch (id) {
      case kUsername:
        setString(result, version_->username());
        break;
      case kVersionNumber:
        setLong(result, version_->versionNumber());
        break;
      case kAction:
        setString(result, version_->action());
        break;
      case kDate:
        setDate(result, version_->date());
        break;
      case kComment:
        setString(result, version_->comment());
        break;
      case kLabel:
        setString(result, version_->label());
        break;
      case kLabelComment:
        setString(result, version_->labelComment());
        break;
    }
  }

 private:
  std::unique_ptr<vss::Version> version_;
};

class VersionsObject final : public DispatchObject {
 public:
  VersionsObject(ItemPtr item, int flags, EnumeratorKind enumerators)
      : item_(std::move(item)), flags_(flags), enumerators_(enumerators) {}

 protected:
  std::span<const MemberEntry> members() const noexcept override {
    // _NewEnum is IVSSVersions' one member: a (restricted, hidden) method returning IUnknown.
    static constexpr MemberEntry kMembers[] = {
        {L"_NewEnum", DISPID_NEWENUM, MemberKind::Method},
    };
    return kMembers;
  }

  // Each enumeration opens the history; the library allows one open history at a time.
  void call(DISPID, const Args&, VARIANT& result) override {
    std::unique_ptr<vss::VersionCursor> cursor = item_->versions(flags_);
    result.vt = VT_UNKNOWN;
    result.punkVal =
        makeVersionEnumerator(item_, flags_, std::move(cursor), enumerators_).release();
  }

 private:
  ItemPtr item_;
  int flags_;
  EnumeratorKind enumerators_;
};

}  // namespace

ComPtr<IDispatch> makeVersionObject(std::unique_ptr<vss::Version> version) {
  return dispatchOf(makeObject<VersionObject>(std::move(version)));
}

ComPtr<IDispatch> makeVersionsObject(ItemPtr item, int flags, EnumeratorKind enumerators) {
  return dispatchOf(makeObject<VersionsObject>(std::move(item), flags, enumerators));
}

}  // namespace standin::com
