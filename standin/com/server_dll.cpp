// The in-process server DLL of the stand-in automation library: the class object of
// VSSDatabase over the stand-in store (or, read-only, a database made by real SourceSafe), and
// its registration under the automation library's class id and ProgID.
// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
// clang-format on

#include <memory>
#include <mutex>
#include <string>

#include "standin/adapter.h"
#include "standin/com/server_objects.h"

namespace {

HMODULE g_module = nullptr;

constexpr const wchar_t* kClsidText = L"{783CD4E4-9D54-11CF-B8EE-00608CC9A71F}";
constexpr const wchar_t* kClsidKey = L"CLSID\\{783CD4E4-9D54-11CF-B8EE-00608CC9A71F}";
constexpr const wchar_t* kProgId = L"SourceSafe";
constexpr const wchar_t* kVersionedProgId = L"SourceSafe.0";
constexpr const wchar_t* kDescription = L"SourceSafe automation library (Ostrabel stand-in)";

// The stand-in library behind every database object of the process.
vss::Library& library() {
  static std::once_flag made;
  static std::unique_ptr<vss::Library> instance;
  std::call_once(made, [] { instance = standin::makeLibrary(); });
  return *instance;
}

// Sets the value `name` (nullptr: the default value) of key `path` below HKEY_CLASSES_ROOT,
// creating the key.
LSTATUS setClassesValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

LSTATUS deleteClassesTree(const wchar_t* path) {
  // Removes the key with everything below it; a key that is not there is already removed.
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, standin::com::kClsidVssDatabase)) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    vss::com::ComPtr<IClassFactory> factory = standin::com::makeDatabaseFactory(library());
    return factory->QueryInterface(iid, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllCanUnloadNow() { return standin::com::canUnloadServer() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  const std::wstring clsidKey = kClsidKey;
  const struct {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
  } values[] = {
      {clsidKey, nullptr, kDescription},
      {clsidKey + L"\\InprocServer32", nullptr, std::wstring(path, length)},
      {clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsidKey + L"\\ProgID", nullptr, kVersionedProgId},
      {clsidKey + L"\\VersionIndependentProgID", nullptr, kProgId},
      {kProgId, nullptr, kDescription},
      {std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText},
      {std::wstring(kProgId) + L"\\CurVer", nullptr, kVersionedProgId},
      {kVersionedProgId, nullptr, kDescription},
      {std::wstring(kVersionedProgId) + L"\\CLSID", nullptr, kClsidText},
  };
  for (const auto& value : values) {
    if (setClassesValue(value.key, value.name, value.value) != ERROR_SUCCESS) {
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  HRESULT result = S_OK;
  for (const wchar_t* key : {kClsidKey, kProgId, kVersionedProgId}) {
    if (deleteClassesTree(key) != ERROR_SUCCESS) result = SELFREG_E_CLASS;
  }
  return result;
}
