#include "scan/results/FolderTable.h"

#include <algorithm>
#include <limits>

namespace kestrin {

void FolderTable::ReserveRecords(std::int64_t records) {
    denseLimit_ = std::max(denseLimit_, records);
    if (records > 0 && records <= std::numeric_limits<std::int32_t>::max() &&
        static_cast<std::size_t>(records) > slots_.size()) {
        slots_.resize(static_cast<std::size_t>(records), kNone);
    }
}

bool FolderTable::Dense(std::int64_t record) {
    if (record < 0 || record >= denseLimit_ || record >= std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    if (static_cast<std::size_t>(record) >= slots_.size()) {
        // Doubling, so that a table grown a record at a time stays linear.
        const std::size_t grown = std::max(static_cast<std::size_t>(record) + 1, 2 * slots_.size());
        slots_.resize(std::min(grown, static_cast<std::size_t>(denseLimit_)), kNone);
    }
    return true;
}

std::int32_t FolderTable::SlotOf(std::int64_t record) const {
    if (record >= 0 && static_cast<std::uint64_t>(record) < slots_.size()) {
        const std::int32_t slot = slots_[static_cast<std::size_t>(record)];
        // A record placed in the map before the index reached it stays there.
        if (slot != kNone || beyond_.empty()) {
            return slot;
        }
    }
    const auto found = beyond_.find(record);
    return found != beyond_.end() ? found->second : kNone;
}

FolderRecord& FolderTable::At(std::int64_t record) {
    if (const std::int32_t slot = SlotOf(record); slot != kNone) {
        return folders_[static_cast<std::size_t>(slot)];
    }
    const auto slot = static_cast<std::int32_t>(folders_.size());
    if (Dense(record)) {
        slots_[static_cast<std::size_t>(record)] = slot;
    } else {
        beyond_.emplace(record, slot);
    }
    FolderRecord& folder = folders_.emplace_back();
    folder.record = record;
    return folder;
}

FolderRecord* FolderTable::Find(std::int64_t record) {
    const std::int32_t slot = SlotOf(record);
    return slot == kNone ? nullptr : &folders_[static_cast<std::size_t>(slot)];
}

const FolderRecord* FolderTable::Find(std::int64_t record) const {
    const std::int32_t slot = SlotOf(record);
    return slot == kNone ? nullptr : &folders_[static_cast<std::size_t>(slot)];
}

}  // namespace kestrin
