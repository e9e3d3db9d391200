// The shipped Ostrabel.exe carries its icon (four sizes, 256 colours), the version 1.0.3 and
// the manifest that asks for common controls 6 and DPI awareness.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const wchar_t* kExe = L"" OSTRABEL_EXE;

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
struct GroupIconDir {
  WORD reserved, type, count;
  GroupIconEntry entries[1];
};
#pragma pack(pop)

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(kExe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << "cannot load " << testing::PrintToString(std::wstring(kExe));
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string resource(LPCWSTR name, LPCWSTR type) {
    HRSRC found = FindResourceW(module_, name, type);
    if (!found) return {};
    const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    return std::string(data, SizeofResource(module_, found));
  }
  HMODULE module_ = nullptr;
};

TEST_F(ResourcesTest, IconHasFourSizesOf256Colours) {
  std::string group = resource(MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u);
  const auto* dir = reinterpret_cast<const GroupIconDir*>(group.data());
  ASSERT_EQ(dir->count, 4);
  std::set<int> sizes;
  for (int i = 0; i < dir->count; ++i) {
    const GroupIconEntry& e = dir->entries[i];
    sizes.insert(e.width);
    EXPECT_EQ(e.width, e.height);
    EXPECT_EQ(e.bitCount, 8);
    std::string image = resource(MAKEINTRESOURCEW(e.id), RT_ICON);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_EQ(header->biWidth, e.width);
    EXPECT_EQ(header->biHeight, 2 * e.width);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48}));
  for (int size : {16, 24, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon) DestroyIcon(icon);
  }
}

TEST_F(ResourcesTest, VersionIs103) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(kExe, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(kExe, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  wchar_t* text = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404b0\\ProductVersion",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_STREQ(text, L"1.0.3");
}

TEST_F(ResourcesTest, ManifestAsksForCommonControls6AndDpiAwareness) {
  std::string manifest = resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
  for (const char* needle : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "PerMonitorV2",
                             "<dpiAware", "supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\""})
    EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}

}  // namespace
