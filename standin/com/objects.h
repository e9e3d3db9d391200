// The stand-in server's object types as the files that implement them hand them to each other:
// VSSItem and VSSItems (item_objects.cpp), VSSVersion and VSSVersions (version_objects.cpp) and
// the enumerators of the two collections (enumerators.cpp).
#pragma once

#include <memory>
#include <vector>

#include "standin/com/dispatch_object.h"
#include "standin/com/server_objects.h"
#include "vss/port.h"

namespace standin::com {

using ItemPtr = std::shared_ptr<vss::Item>;
using ItemList = std::vector<ItemPtr>;

// VSSItem over a port item; empty for an empty item.
ComPtr<IDispatch> makeItemObject(ItemPtr item, EnumeratorKind enumerators);
// VSSItems over the children a project had when Items was read.
ComPtr<IDispatch> makeItemsObject(std::shared_ptr<const ItemList> items,
                                  EnumeratorKind enumerators);
// VSSVersion over one history record.
ComPtr<IDispatch> makeVersionObject(std::unique_ptr<vss::Version> version);
// VSSVersions over an item's history, which each _NewEnum reads anew.
ComPtr<IDispatch> makeVersionsObject(ItemPtr item, int flags, EnumeratorKind enumerators);

// The enumerators that _NewEnum of the two collections hands out.
ComPtr<IEnumVARIANT> makeItemEnumerator(std::shared_ptr<const ItemList> items, EnumeratorKind kind);
ComPtr<IEnumVARIANT> makeVersionEnumerator(ItemPtr item, int flags,
                                           std::unique_ptr<vss::VersionCursor> cursor,
                                           EnumeratorKind kind);

}  // namespace standin::com
