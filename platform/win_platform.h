// The engine's platform port on Win32: wide file APIs, the automation date conversion of
// the user's locale, locale-aware lower-casing.
#pragma once

#include "engine/ports.h"

namespace platform {

class WinPlatform : public engine::PlatformPort {
 public:
  bool pathExists(const std::wstring& path) override;
  std::uint32_t createFolder(const std::wstring& path) override;
  bool writableFileExists(const std::wstring& path) override;
  std::uint32_t removeFile(const std::wstring& path) override;
  std::optional<double> toDate(const std::wstring& text) override;
  std::wstring nowText() override;
  std::wstring toLower(const std::wstring& text) override;
};

}  // namespace platform
