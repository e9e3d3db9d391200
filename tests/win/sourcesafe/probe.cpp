// Reads a SourceSafe database through whichever automation library "SourceSafe" is in this Wine
// prefix (Microsoft's SSAPI.DLL or the stand-in's server) and writes, as UTF-8 text, everything a
// client can read of it: the tree as the projects enumerate it (deleted entries too), every item's
// members, every history record with every field, the links, what Get writes (the bytes' CRC and
// every file it leaves beside them) and the failures of the calls with their statuses and texts.
// The same database read through both libraries must give the same text; the conformance test
// compares the two.
// Usage: sourcesafe_probe OUT.txt SRCSAFE.INI USER PASSWORD [--no-get]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "vss/com/dispatch_call.h"

namespace {

using vss::com::CallArgs;
using vss::com::ComPtr;
using vss::com::UniqueBstr;
using vss::com::UniqueVariant;

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// A text quoted so that every character shows: \" \\ \n \r \t and \xHH for other control bytes.
std::string quoted(std::wstring_view text) {
  std::string out = "\"";
  for (char c : utf8(text)) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (b < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string failure(const vss::Error& e) {
  char status[16];
  std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(e.status()));
  return std::string("fails ") + status + " " + quoted(e.description());
}

// An automation date as its calendar time to the second; "+" and the rest when it is no whole
// second.
std::string dateText(double date) {
  SYSTEMTIME t{};
  const double seconds = date * 86400.0;
  const double whole =
      static_cast<double>(static_cast<long long>(seconds + (seconds < 0 ? -0.5 : 0.5)));
  if (VariantTimeToSystemTime(whole / 86400.0, &t) == FALSE) return "no-date";
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  std::string out = text;
  if (seconds - whole > 1e-3 || whole - seconds > 1e-3) {
    std::snprintf(text, sizeof text, "%+.3fs", seconds - whole);
    out += text;
  }
  return out;
}

// Late-bound calls by member name (the two libraries may give different ids; the names are the
// type library's).
class Object {
 public:
  explicit Object(ComPtr<IDispatch> object) : object_(std::move(object)) {}
  IDispatch* get() const { return object_.get(); }

  UniqueVariant call(const wchar_t* name, WORD kind, VARIANTARG* args = nullptr,
                     UINT count = 0) const {
    LPOLESTR member = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object_->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw vss::Error(hr, std::wstring(L"no member ") + name);
    UniqueVariant result;
    vss::com::invoke(object_.get(), id, kind, args, count, result.put());
    return result;
  }
  std::wstring text(const wchar_t* name) const {
    UniqueVariant v = call(name, DISPATCH_PROPERTYGET);
    return vss::com::resultString(v);
  }
  long number(const wchar_t* name) const {
    UniqueVariant v = call(name, DISPATCH_PROPERTYGET);
    return vss::com::resultInt32(v);
  }
  bool flag(const wchar_t* name) const {
    UniqueVariant v = call(name, DISPATCH_PROPERTYGET);
    return vss::com::resultInt32(v) != 0;
  }
  Object object(const wchar_t* name, VARIANTARG* args = nullptr, UINT count = 0) const {
    UniqueVariant v = call(name, DISPATCH_PROPERTYGET, args, count);
    return Object(vss::com::resultObject(v));
  }
  // The elements of a collection, taken one at a time as the library's own clients take them.
  std::vector<Object> elements() const {
    std::vector<Object> out;
    ComPtr<IEnumVARIANT> e = vss::com::newEnum(object_.get());
    for (;;) {
      UniqueVariant element;
      ULONG fetched = 0;
      const HRESULT hr = e->Next(1, element.put(), &fetched);
      if (FAILED(hr)) throw vss::com::callError(hr, nullptr);
      if (fetched != 1) break;
      out.emplace_back(vss::com::resultObject(element));
    }
    return out;
  }

 private:
  ComPtr<IDispatch> object_;
};

class Probe {
 public:
  Probe(FILE* out, std::wstring ini, bool get) : out_(out), ini_(std::move(ini)), get_(get) {}

  void line(const std::string& text) { std::fprintf(out_, "%s\n", text.c_str()); }

  // A database object of the library, opened; nothing when the opening fails (written out).
  std::unique_ptr<Object> open(const std::wstring& user, const std::wstring& password,
                               const std::string& what) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"SourceSafe", &clsid))) {
      line(what + " fails: no library");
      return nullptr;
    }
    ComPtr<IDispatch> object;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                        reinterpret_cast<void**>(object.put()));
    if (FAILED(hr)) {
      line(what + " fails: the library does not start");
      return nullptr;
    }
    auto db = std::make_unique<Object>(std::move(object));
    try {
      UniqueBstr a(ini_), b(user), c(password);
      CallArgs<3> args;
      args.bstr(0, a.get()).bstr(1, b.get()).bstr(2, c.get());
      db->call(L"Open", DISPATCH_METHOD, args.data(), args.count());
    } catch (const vss::Error& e) {
      line(what + " " + failure(e));
      return nullptr;
    }
    line(what + " opens");
    return db;
  }

  static Object lookup(const Object& db, const std::wstring& spec, bool deleted) {
    UniqueBstr text(spec);
    CallArgs<2> args;
    args.bstr(0, text.get()).boolean(1, deleted);
    return db.object(L"VSSItem", args.data(), args.count());
  }

  template <typename F>
  void attempt(const std::string& what, F&& f) {
    try {
      f();
    } catch (const vss::Error& e) {
      line(what + " " + failure(e));
    }
  }

  void history(const Object& item, const std::string& indent) {
    CallArgs<1> flags;
    flags.int32(0, 0);
    std::vector<Object> records = item.object(L"Versions", flags.data(), flags.count()).elements();
    for (const Object& v : records) {
      std::string text = indent + "record";
      attempt(text, [&] {
        text += " " + std::to_string(v.number(L"VersionNumber"));
        text += " " + quoted(v.text(L"Username"));
        UniqueVariant date = v.call(L"Date", DISPATCH_PROPERTYGET);
        text += " " + dateText(vss::com::resultDate(date));
        text += " " + quoted(v.text(L"Action"));
        text += " comment " + quoted(v.text(L"Comment"));
        text += " label " + quoted(v.text(L"Label"));
        text += " label-comment " + quoted(v.text(L"LabelComment"));
        line(text);
      });
    }
  }

  // Gets the file into a folder of its own and tells what the folder then holds.
  void fetch(const Object& item, const std::wstring& spec, const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"probe-get-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++fetches_);
    CreateDirectoryW(folder.c_str(), nullptr);
    attempt("  get", [&] {
      UniqueBstr local(folder + L"\\" + name);
      CallArgs<2> args;
      args.bstrRef(0, local.addressof()).int32(1, 0);
      item.call(L"Get", DISPATCH_METHOD, args.data(), args.count());
      std::string text = "  get";
      if (local.view() != folder + L"\\" + name) text += " local-now " + quoted(local.view());
      line(text + " writes" + listing(folder));
    });
    folders_.push_back({folder, spec});
  }

  // What each Get's folder holds once the library is released, and the folders removed.
  void afterClose() {
    for (const auto& [folder, spec] : folders_) {
      line("after close " + quoted(spec) + " holds" + listing(folder));
      removeTree(folder);
    }
  }

  // The folders Get wrote into; removed only at the end (the library may write into a folder
  // after its Get has returned).
  std::vector<std::pair<std::wstring, std::wstring>> folders_;

  // Every file in a folder, with its size, CRC and whether it is read-only.
  std::string listing(const std::wstring& folder) {
    std::string out;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      out += " " + quoted(name);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        out += " folder";
        continue;
      }
      std::string bytes = readFile(folder + L"\\" + name);
      char info[64];
      std::snprintf(info, sizeof info, " %zu bytes crc %08lX%s", bytes.size(),
                    static_cast<unsigned long>(crc32(bytes)),
                    (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? " read-only" : "");
      // vssver.scc holds the library's own bookkeeping of what it fetched: its size tells enough.
      out += name == L"vssver.scc" ? std::string(" ") + std::to_string(bytes.size()) + " bytes"
                                   : std::string(info);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return out;
  }

  static std::string readFile(const std::wstring& path) {
    std::string bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(f);
    return bytes;
  }

  static std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
      crc ^= b;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  }

  static void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          removeTree(path);
        } else {
          SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(h, &found));
      FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
  }

  // One item as its project enumerates it, then the items below it.
  void item(const Object& item, const Object& db) {
    std::wstring spec;
    try {
      spec = item.text(L"Spec");
    } catch (const vss::Error& e) {
      line("item " + failure(e));
      return;
    }
    line("item " + quoted(spec));
    int type = -1;
    std::wstring name;
    attempt("  members", [&] {
      name = item.text(L"Name");
      type = static_cast<int>(item.number(L"Type"));
      line("  name " + quoted(name) + " type " + std::to_string(type) + " deleted " +
           (item.flag(L"Deleted") ? "yes" : "no"));
    });
    attempt("  version",
            [&] { line("  version " + std::to_string(item.number(L"VersionNumber"))); });
    // The same path looked up by name (a pinned place enumerates otherwise than it looks up).
    attempt("  looked-up", [&] {
      Object again = lookup(db, spec, item.flag(L"Deleted"));
      line("  looked-up version " + std::to_string(again.number(L"VersionNumber")));
    });
    attempt("  links", [&] {
      std::string text = "  links";
      for (const Object& link : item.object(L"Links").elements())
        text += " " + quoted(link.text(L"Spec"));
      line(text);
    });
    attempt("  history", [&] { history(item, "  "); });
    if (type == 1 && !item.flag(L"Deleted")) files_.push_back(spec);
    if (type == 1 && get_) fetch(item, spec, name);
    if (type != 0) return;
    for (const bool deleted : {false, true}) {
      const std::string what = deleted ? "  all-items" : "  items";
      attempt(what, [&] {
        CallArgs<1> args;
        args.boolean(0, deleted);
        std::vector<Object> children = item.object(L"Items", args.data(), args.count()).elements();
        std::string text = what;
        for (const Object& child : children) text += " " + quoted(child.text(L"Name"));
        line(text);
        if (deleted) {
          for (const Object& child : children) this->item(child, db);
        }
      });
    }
  }

  void failures(const Object& db, const std::wstring& user, const std::wstring& password) {
    open(user, password + L"x", "open with another password");
    open(L"no-such-user", password, "open as an unknown user");
    attempt("lookup of a missing path", [&] { lookup(db, L"$/no/such/item", false); });
    attempt("lookup of a bad path", [&] { lookup(db, L"no path", false); });
    if (files_.empty()) return;
    attempt("the first file", [&] { fileFailures(db, files_.front(), files_.back()); });
  }

  // The failures of one file's versions: a number it does not have, and a second history while
  // its own is open (and once it has been read to its end, its enumerator still alive).
  void fileFailures(const Object& db, const std::wstring& firstSpec, const std::wstring& lastSpec) {
    const Object file = lookup(db, firstSpec, false);
    attempt("a version that does not exist", [&] {
      VARIANTARG number;
      VariantInit(&number);
      number.vt = VT_I4;
      number.lVal = 9999;
      const Object old = file.object(L"Version", &number, 1);
      line("a version that does not exist is found, version " +
           std::to_string(old.number(L"VersionNumber")));
    });
    CallArgs<1> flags;
    flags.int32(0, 0);
    const Object other = lookup(db, lastSpec, false);
    auto records = [&] {
      return std::to_string(
          other.object(L"Versions", flags.data(), flags.count()).elements().size());
    };
    Object first = file.object(L"Versions", flags.data(), flags.count());
    ComPtr<IEnumVARIANT> open = vss::com::newEnum(first.get());
    UniqueVariant element;
    ULONG fetched = 0;
    open->Next(1, element.put(), &fetched);
    attempt("a second open history",
            [&] { line("a second open history reads " + records() + " records"); });
    while (open->Next(1, element.put(), &fetched) == S_OK && fetched == 1) {
    }
    attempt("a history after the first one's end",
            [&] { line("a history after the first one's end reads " + records() + " records"); });
  }

 private:
  FILE* out_;
  std::wstring ini_;
  bool get_;
  int fetches_ = 0;
  std::vector<std::wstring> files_;  // the live files met, in the order met
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: sourcesafe_probe OUT.txt SRCSAFE.INI USER PASSWORD [--no-get]\n");
    return 2;
  }
  FILE* out = _wfopen(argv[1], L"wb");
  if (out == nullptr) return 1;
  const bool get = !(argc > 5 && std::wstring(argv[5]) == L"--no-get");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    Probe probe(out, argv[2], get);
    {
      std::unique_ptr<Object> db = probe.open(argv[3], argv[4], "open");
      if (db) {
        probe.attempt("root", [&] {
          Object root = Probe::lookup(*db, L"$/", false);
          probe.item(root, *db);
        });
        probe.failures(*db, argv[3], argv[4]);
      }
    }
    probe.afterClose();
  }
  CoUninitialize();
  std::fclose(out);
  return 0;
}
