// The object model of the SourceSafe automation library (VSSDatabase, VSSItem, VSSItems,
// VSSVersions, VSSVersion) as IDispatch objects over any implementation of the vss port: the
// inside of the stand-in COM server, usable in-process without registration.
#pragma once

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

#include "vss/com/unique_com.h"
#include "vss/port.h"

namespace standin::com {

// The class id of the automation library's database object.
inline constexpr CLSID kClsidVssDatabase = {
    0x783CD4E4, 0x9D54, 0x11CF, {0xB8, 0xEE, 0x00, 0x60, 0x8C, 0xC9, 0xA7, 0x1F}};

// How the enumerators of the server's collections answer IEnumVARIANT::Next. The registered
// server follows the COM rules; tests choose the other two to check that a client loses no
// element with an enumerator that bends them.
enum class EnumeratorKind {
  // S_OK when every element asked for was given, S_FALSE with fewer at the end.
  FollowsComRules,
  // Gives at most a few elements a call and answers S_OK with fewer than asked before the end.
  ShortBatches,
  // Refuses (E_INVALIDARG) a request for more than one element.
  RefusesBatches,
};

// A class factory making VSSDatabase objects, each over a fresh database object of `library`.
// `library` must outlive every object made.
vss::com::ComPtr<IClassFactory> makeDatabaseFactory(
    vss::Library& library, EnumeratorKind enumerators = EnumeratorKind::FollowsComRules);

// True when no object of the server is alive and no client holds a server lock.
bool canUnloadServer();

// Calls made to the server's objects since the process started (or the last reset).
struct DispatchCounts {
  long namesLookedUp;    // IDispatch::GetIDsOfNames
  long calls;            // IDispatch::Invoke
  long enumeratorPulls;  // IEnumVARIANT::Next
};
DispatchCounts dispatchCounts();
void resetDispatchCounts();

}  // namespace standin::com
