#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/common/NameText.h"
#include "scan/results/SharedText.h"
#include "scan/results/SpaceAccounting.h"

namespace kestrin {

// Progress reports: a percentage and a text for the user. May be empty; during decoding it is
// called from pool threads, one call at a time.
using ProgressCallback = std::function<void(std::int32_t, const std::wstring&)>;

// One directory of the finished tree.
struct DirNode {
    std::int64_t recordNumber = 0;
    std::int64_t parentRecord = 0;  // as read; may name a record that is no known directory
    std::wstring name;
    std::int64_t totalSize = 0;
    std::int64_t totalAllocated = 0;
    std::int64_t ownSize = 0;
    std::int64_t ownAllocated = 0;
    std::int32_t ownFiles = 0;
    std::int32_t totalFiles = 0;
    std::int32_t subdirCount = 0;
    std::int64_t treeParent = 5;  // where it hangs in the tree
    std::int64_t time = 0;
    std::uint32_t attributes = 0;
    std::vector<std::int64_t> children;
    std::int64_t indexAllocated = 0;  // the bytes of the folder's own index, 0 when resident
};

// One file as the views list it.
struct FileRow {
    NameText name;
    SharedText folderPath;  // shared by the rows of one folder
    SharedText extension;  // "(无扩展名)" for names without one; shared by the rows of one text
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int64_t recordNumber = 0;
    std::int64_t time = 0;
    std::uint32_t attributes = 0;
};

// Totals of one extension text.
struct ExtStat {
    std::wstring extension;
    std::int64_t size = 0;
    std::int32_t files = 0;
};

inline constexpr const wchar_t* kNoExtensionLabel = L"(无扩展名)";

// How the MFT was read: a few pieces at a time, and the records needed out of order from the
// volume when they were needed.
struct MftReading {
    std::int64_t heldBytes = 0;  // the most bytes of the MFT held at once: buffers and cache
    std::int64_t pieces = 0;
    std::int64_t lateRecords = 0;  // records decoded, or their sizes found, after the pieces
    std::int64_t recordReads = 0;  // reads of records out of order
};

// Everything one scan yields.
struct ScanResult {
    std::unordered_map<std::int64_t, DirNode> dirs;
    std::unordered_map<std::int64_t, std::vector<FileRow>> dirFiles;
    std::vector<ExtStat> extStats;
    std::vector<FileRow> largestFiles;
    std::int64_t rootRecord = 5;
    std::int32_t fileCount = 0;
    std::int32_t dirCount = 0;
    std::int64_t rootTotalSize = 0;
    double seconds = 0.0;
    std::wstring drive;
    // A result cut to one folder (rootRecord) shows its paths under the folder as the user named
    // it, with pathSeparator between names; empty for a whole volume, whose paths start at the
    // drive.
    std::wstring shownRoot;
    wchar_t pathSeparator = L'\\';
    SpaceAccounting space;
    // MFT records that could not be read (the run list's continuation was unreadable): the
    // result lacks whatever they held.
    std::int64_t unreadMftRecords = 0;
    MftReading mftReading;
};

}  // namespace kestrin
