#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scan/results/ScanResult.h"

namespace kestrin {

// The paths the scanner prints. A whole volume's start at its drive (C:\Users); a result cut to
// one folder's start at the folder as the user named it (/mnt/win/Users, C:\Users\me), with the
// result's path separator between names.

// The path of one folder of `result`.
std::wstring ShownFolderPath(const ScanResult& result, std::int64_t record);

// The path of one file row of `result`, whose folderPath is its folder's shown path.
std::wstring ShownFilePath(const ScanResult& result, const FileRow& file);

// What stands before the name in the paths of the files of one folder: its shown path and the
// separator.
std::wstring ShownFilePrefix(const ScanResult& result, std::wstring_view folderPath);

// Shown file paths as UTF-8, one after another: a file's path is its folder's, shared by the
// folder's rows and turned into UTF-8 once while the files of one folder follow one another, and
// its name (a separator stands between the two, so no character straddles them).
class Utf8FilePaths {
public:
    explicit Utf8FilePaths(const ScanResult& result) : result_(result) {}
    // The path of `file`, valid until the next call.
    const std::string& Of(const FileRow& file);

private:
    const ScanResult& result_;
    const std::wstring* folderPath_ = nullptr;
    std::string prefix_;
    std::string path_;
};

}  // namespace kestrin
