// What Get does with a fetched file, for every kind of database the stand-in opens: the local
// path as the caller wrote it, and the copy written as the library writes it with flags 0.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace standin {

// A local path of the caller: "\" separates levels as "/" does (the engine joins with "\").
std::filesystem::path localPath(const std::wstring& local);

// Writes a fetched file as Get with flags 0 does: read-only (the library's default), replacing
// a read-only copy. The library answers its own questions: "Folder %s not found, create?" with
// Yes, so missing folders are made, and "%s is writable, replace?" with No, so a writable copy
// is left as it is, and the caller "never even knows the question happened": no failure.
// The new copy is written beside its place under a temporary name, made read-only there and only
// then moved into place, so that a process killed while writing leaves the old copy (or none)
// and a stray temporary file: never a read-only copy cut short, which would pass as fetched.
// Throws vss::Error.
void writeLocalCopy(const std::wstring& local, std::string_view content);

}  // namespace standin
