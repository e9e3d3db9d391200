// The shipped Ostrabel.exe carries its icon (four sizes, 256 colours), the version 1.0.3 in a
// Chinese version block and the manifest that asks for common controls 6 and DPI awareness and
// declares no execution level. The environment variable OSTRABEL_EXE names another copy to check
// (the package's).
#include <windows.h>
// before the headers that need it
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace {

// The program checked: the build's, or the one OSTRABEL_EXE names.
std::wstring checkedExe() {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"OSTRABEL_EXE", path, MAX_PATH) > 0) return path;
  return L"" OSTRABEL_EXE;
}

TEST(Resources, IconVersionAndManifest) {
  const std::wstring exe = checkedExe();
  const wchar_t* kExe = exe.c_str();
  HMODULE module = LoadLibraryExW(kExe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << testing::PrintToString(exe);
  auto resource = [&](int id, LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    const char* data =
        found ? static_cast<const char*>(LockResource(LoadResource(module, found))) : "";
    return std::string(data, found ? SizeofResource(module, found) : 0);
  };
  // The icon group: reserved, type, count, then 14-byte entries (width, height, colours,
  // reserved, planes, bit count, bytes, image id); each image 8 bits deep and square.
  std::string group = resource(1, RT_GROUP_ICON);
  ASSERT_EQ(group.size(), 6u + 4 * 14);
  std::set<int> sizes;
  for (int i = 0; i < 4; ++i) {
    const BYTE* e = reinterpret_cast<const BYTE*>(group.data()) + 6 + 14 * i;
    sizes.insert(e[0]);
    EXPECT_TRUE(e[1] == e[0] && e[6] == 8) << int(e[0]);
    std::string image = resource(e[12] | e[13] << 8, RT_ICON);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
    EXPECT_TRUE(header->biBitCount == 8 && header->biWidth == e[0] && header->biHeight == 2 * e[0]);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48}));
  std::string manifest = resource(1, RT_MANIFEST);
  for (const char* needle :
       {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "PerMonitorV2", "<dpiAware",
        "supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\""})
    EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
  // No execution level: declaring one turns off the file virtualization that keeps the settings
  // of a program in a folder a standard user may not write (under Program Files).
  for (const char* needle : {"requestedExecutionLevel", "trustInfo", "requestedPrivileges"})
    EXPECT_EQ(manifest.find(needle), std::string::npos) << needle;
  FreeLibrary(module);

  std::string block(GetFileVersionInfoSizeW(kExe, nullptr), '\0');
  ASSERT_TRUE(GetFileVersionInfoW(kExe, 0, DWORD(block.size()), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  wchar_t* text = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_TRUE(fixed->dwFileVersionMS == 0x00010000u && fixed->dwFileVersionLS == 0x00030000u);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404b0\\ProductVersion",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_STREQ(text, L"1.0.3");
  // The block is marked Simplified Chinese (0x0804) and speaks it; the product keeps its name.
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404b0\\FileDescription",
                             reinterpret_cast<void**>(&text), &length));
  const std::wstring description = text;
  EXPECT_TRUE(std::any_of(description.begin(), description.end(), [](wchar_t c) {
    return c >= 0x4E00 && c <= 0x9FFF;
  })) << "no Chinese in the description";
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404b0\\ProductName",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_STREQ(text, L"Ostrabel");
}

}  // namespace
