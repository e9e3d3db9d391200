// IniApi: reads and writes single values of one INI file through the Windows profile
// functions (ANSI code page), and offers the folder picker of the main window.
#pragma once

#include <string>

struct HWND__;

class IniApi {
 public:
  // Failure text of the last operation that failed; a later success does not clear it.
  const std::wstring& lastErrorMsg() const { return lastErrorMsg_; }
  void setLastErrorMsg(const std::wstring& text) { lastErrorMsg_ = text; }

  // Sets the file's path, leading and trailing blanks removed.
  void setIniFileName(const std::wstring& file);
  bool writeString(const std::wstring& Section, const std::wstring& key, const std::wstring& Value);
  std::wstring readString(const std::wstring& Section, const std::wstring& key);
  // True when the last readString filled its buffer: the stored value may be longer than what
  // came back (the profile functions cut it to 254 bytes without a word).
  bool lastReadFilled() const { return lastReadFilled_; }
  // The folder picker; the chosen folder's path, or empty when cancelled.
  std::wstring BrowseForFolder(HWND__* hwndOwner, const std::wstring& sPrompt);

 private:
  bool checkIniFile();

  std::wstring lastErrorMsg_;
  std::wstring iniFile_;
  bool lastReadFilled_ = false;
};
