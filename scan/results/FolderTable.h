#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/results/ScanResult.h"

namespace kestrin {

// A folder's own record, as its entry described it.
struct DirInfo {
    std::int64_t parentRecord = 0;
    std::wstring name;
    std::int64_t time = 0;
    std::uint32_t attributes = 0;
    std::int64_t indexAllocated = 0;  // the bytes of the folder's own index ($INDEX_ALLOCATION)
};

struct SizeTotals {
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int32_t count = 0;
};

// What a scan gathers under one record number that folders or files name: the folder's own
// description once its entry is added, and the totals and rows of the files that name it as their
// parent (which makes it a folder only if an entry describes it so).
struct FolderRecord {
    std::int64_t record = 0;
    std::optional<DirInfo> dirInfo;
    SizeTotals ownTotals;
    // The rows of its files, all but their folder's path, which the finished tree gives.
    std::vector<FileRow> childFiles;
    // The files its list will hold, where counted in advance.
    std::size_t listRoom = 0;
};

// The folder records of a scan, found by record number through an index as dense as the MFT's
// record numbers: a hundred thousand folders of a volume with millions of records were hash maps
// of nodes, which cost a miss or two for each file added, rehashing as they grew and a free for
// each node at the end. Record numbers above the index (damaged parent references) are found in
// a map. Records keep their place, in the order they were first asked for, while others are added.
class FolderTable {
public:
    // Lets the index reach `records` record numbers; without it, it grows as far as a small
    // volume's.
    void ReserveRecords(std::int64_t records);

    // The record's entry, made empty when missing.
    FolderRecord& At(std::int64_t record);
    FolderRecord* Find(std::int64_t record);
    const FolderRecord* Find(std::int64_t record) const;

    bool empty() const { return folders_.empty(); }
    std::size_t size() const { return folders_.size(); }
    std::deque<FolderRecord>::iterator begin() { return folders_.begin(); }
    std::deque<FolderRecord>::iterator end() { return folders_.end(); }
    std::deque<FolderRecord>::const_iterator begin() const { return folders_.begin(); }
    std::deque<FolderRecord>::const_iterator end() const { return folders_.end(); }

private:
    static constexpr std::int32_t kNone = -1;

    std::int32_t SlotOf(std::int64_t record) const;
    bool Dense(std::int64_t record);

    std::int64_t denseLimit_ = std::int64_t{1} << 16;
    std::vector<std::int32_t> slots_;  // by record number: where its entry is, or kNone
    std::unordered_map<std::int64_t, std::int32_t> beyond_;
    std::deque<FolderRecord> folders_;
};

}  // namespace kestrin
