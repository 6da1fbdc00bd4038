#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/MftRecords.h"
#include "scan/volume/Volume.h"

namespace kestrin {

// The records of the MFT that are needed out of order (the bitmap's record, extension records
// named by attribute lists, base records decoded again once the whole MFT has passed), read from
// the volume through the MFT's run list when they are asked for. The MFT is not in memory as a
// whole, and such records cluster (a file's extension records mostly follow it), so a few blocks
// of neighbouring records are kept, the one used longest ago giving way to the next.
//
// For one thread at a time: it reads the volume, which the pieces' reader thread does meanwhile.
class MftRecordCache final : public RecordFetcher {
public:
    MftRecordCache(const VolumeHandle& volume, std::vector<DataRun> runs, std::int64_t clusterSize,
                   std::int64_t mftLength, std::int32_t recordSize, std::size_t blockBytes,
                   std::size_t blocks);

    // Copies the raw bytes of record n into `copy` (resized to the record size); false when the
    // run list does not place it or the read fails.
    bool Fetch(std::int64_t n, std::vector<std::uint8_t>& copy) override;
    // Record n's raw bytes, copied while its piece was held: given without a read.
    void Keep(std::int64_t n, std::vector<std::uint8_t> raw);

    // Reads of the volume made so far, and the bytes the cache holds at most.
    std::int64_t Reads() const { return reads_; }
    std::size_t HeldBytes() const {
        return memory_.size() + kept_.size() * static_cast<std::size_t>(recordSize_);
    }

private:
    struct Block {
        std::int64_t index = -1;  // block number inside the MFT; -1 when empty
        std::int64_t lastUse = 0;
        std::size_t length = 0;  // bytes read; the MFT's last block may be short
    };

    Block* Find(std::int64_t index);
    Block* Load(std::int64_t index);
    bool CopySingle(std::int64_t n, std::vector<std::uint8_t>& copy);

    const VolumeHandle& volume_;
    std::vector<DataRun> runs_;
    std::int64_t clusterSize_;
    std::int64_t mftLength_;
    std::int32_t recordSize_;
    std::size_t blockBytes_;
    std::vector<Block> blocks_;
    std::vector<std::uint8_t> memory_;
    std::int64_t uses_ = 0;
    std::int64_t reads_ = 0;
    std::unordered_map<std::int64_t, std::vector<std::uint8_t>> kept_;
};

}  // namespace kestrin
