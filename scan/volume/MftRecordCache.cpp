#include "scan/volume/MftRecordCache.h"

#include <algorithm>
#include <cstring>

#include "scan/volume/StreamReader.h"

namespace kestrin {

namespace {

// A block is a whole number of records and of 512-byte sectors, so that every read of one starts
// and ends on a sector boundary, as raw volumes demand.
std::size_t BlockSizeFor(std::size_t wanted, std::int32_t recordSize) {
    const auto record = static_cast<std::size_t>(std::max(recordSize, 1));
    return std::max(record, wanted / record * record);
}

// Whether the runs place every cluster of [offset, offset + length) of the MFT on the volume.
bool Placed(const std::vector<DataRun>& runs, std::int64_t clusterSize, std::int64_t offset,
            std::int64_t length) {
    if (clusterSize <= 0 || length <= 0) {
        return false;
    }
    for (std::int64_t vcn = offset / clusterSize; vcn <= (offset + length - 1) / clusterSize;) {
        const auto run = std::find_if(runs.begin(), runs.end(), [&](const DataRun& r) {
            return r.lcn >= 0 && vcn >= r.vcn && vcn - r.vcn < r.clusters;
        });
        if (run == runs.end()) {
            return false;
        }
        vcn = run->vcn + run->clusters;
    }
    return true;
}

}  // namespace

MftRecordCache::MftRecordCache(const VolumeHandle& volume, std::vector<DataRun> runs,
                               std::int64_t clusterSize, std::int64_t mftLength,
                               std::int32_t recordSize, std::size_t blockBytes, std::size_t blocks)
    : volume_(volume),
      runs_(std::move(runs)),
      clusterSize_(clusterSize),
      mftLength_(mftLength),
      recordSize_(recordSize),
      blockBytes_(BlockSizeFor(blockBytes, recordSize)),
      blocks_(std::max<std::size_t>(blocks, 1)),
      memory_(blocks_.size() * blockBytes_) {}

MftRecordCache::Block* MftRecordCache::Find(std::int64_t index) {
    for (Block& block : blocks_) {
        if (block.index == index) {
            return &block;
        }
    }
    return nullptr;
}

MftRecordCache::Block* MftRecordCache::Load(std::int64_t index) {
    const auto oldest =
        std::min_element(blocks_.begin(), blocks_.end(),
                         [](const Block& a, const Block& b) { return a.lastUse < b.lastUse; });
    const std::int64_t start = index * static_cast<std::int64_t>(blockBytes_);
    const auto length = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(blockBytes_), mftLength_ - start));
    const std::span<std::uint8_t> target(
        memory_.data() + static_cast<std::size_t>(oldest - blocks_.begin()) * blockBytes_, length);
    oldest->index = -1;
    ++reads_;
    if (!ReadThroughRuns(volume_, runs_, clusterSize_, start, target)) {
        return nullptr;
    }
    oldest->index = index;
    oldest->length = length;
    return &*oldest;
}

// A block that the run list places only in part (a hole, damage) is not read as a whole; the
// record alone may still be placed.
bool MftRecordCache::CopySingle(std::int64_t n, std::vector<std::uint8_t>& copy) {
    copy.resize(static_cast<std::size_t>(recordSize_));
    const std::int64_t offset = n * recordSize_;
    if (!Placed(runs_, clusterSize_, offset, recordSize_)) {
        return false;
    }
    ++reads_;
    return ReadThroughRuns(volume_, runs_, clusterSize_, offset, copy);
}

void MftRecordCache::Keep(std::int64_t n, std::vector<std::uint8_t> raw) {
    if (recordSize_ <= 0 || raw.size() != static_cast<std::size_t>(recordSize_)) {
        return;
    }
    kept_.emplace(n, std::move(raw));
}

bool MftRecordCache::Fetch(std::int64_t n, std::vector<std::uint8_t>& copy) {
    if (recordSize_ <= 0 || n < 0 || n >= mftLength_ / recordSize_) {
        return false;
    }
    if (const auto held = kept_.find(n); held != kept_.end()) {
        copy = held->second;
        return true;
    }
    const std::int64_t offset = n * recordSize_;
    const std::int64_t index = offset / static_cast<std::int64_t>(blockBytes_);
    Block* block = Find(index);
    if (block == nullptr) {
        const std::int64_t start = index * static_cast<std::int64_t>(blockBytes_);
        if (!Placed(runs_, clusterSize_, start,
                    std::min(static_cast<std::int64_t>(blockBytes_), mftLength_ - start))) {
            return CopySingle(n, copy);
        }
        block = Load(index);
    }
    if (block == nullptr) {
        return false;  // the volume failed the read
    }
    block->lastUse = ++uses_;
    const auto into =
        static_cast<std::size_t>(offset - index * static_cast<std::int64_t>(blockBytes_));
    copy.resize(static_cast<std::size_t>(recordSize_));
    std::memcpy(
        copy.data(),
        memory_.data() + static_cast<std::size_t>(block - blocks_.data()) * blockBytes_ + into,
        copy.size());
    return true;
}

}  // namespace kestrin
