#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "scan/platform/MftBytes.h"
#include "scan/volume/MftReader.h"
#include "scan/volume/Volume.h"

namespace kestrin {

// The MFT read in order, one piece at a time, into a few buffers of a fixed size: a reader thread
// reads the next pieces while the ones before them are decoded, so the memory the MFT takes does
// not grow with the MFT, and a scan of a volume that is not in the page cache takes about as long
// as reading its MFT. A piece is a stretch of the MFT as its run list lays it out, read extent by
// extent. A read that fails leaves its part of the piece zero and its record slots unread, and the
// scan goes on; so do the slots the run list does not reach.
//
// The volume is read by the reader thread alone until every piece has been handed back.
class MftPieceReader {
public:
    MftPieceReader(const VolumeHandle& volume, const MftLayout& layout, std::size_t pieceBytes,
                   std::size_t buffers);
    ~MftPieceReader();
    MftPieceReader(const MftPieceReader&) = delete;
    MftPieceReader& operator=(const MftPieceReader&) = delete;

    std::size_t PieceCount() const { return pieceCount_; }
    std::int64_t RecordsPerPiece() const { return recordsPerPiece_; }

    // Waits until piece i has been read and gives its bytes, the records from
    // i × RecordsPerPiece() on; they stay until Release(i).
    std::span<const std::uint8_t> Wait(std::size_t i);
    // Hands the buffer of piece i back for a later piece.
    void Release(std::size_t i);

    // Known once every piece has been released: the record slots that no read filled, and
    // whether any read of a piece succeeded (true when nothing needed reading).
    std::int64_t UnreadRecords() const;
    bool ReadAnything() const;
    // The bytes of the buffers: the most of the MFT held at once.
    std::size_t HeldBytes() const { return memory_.size(); }

private:
    struct Buffer {
        std::size_t piece = 0;
        bool holding = false;  // a piece is in it, or on its way
        bool ready = false;
    };

    void ReadAll() noexcept;
    void ReadPiece(std::size_t i, std::span<std::uint8_t> target);
    std::span<std::uint8_t> BufferOf(std::size_t i);

    const VolumeHandle& volume_;
    std::vector<MftExtent> extents_;
    std::int32_t recordSize_;
    std::int64_t mftLength_;
    std::size_t pieceBytes_;
    std::int64_t recordsPerPiece_;
    std::size_t pieceCount_;
    MftBytes memory_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Buffer> buffers_;
    bool stopping_ = false;
    std::int64_t unreadRecords_ = 0;
    std::int64_t readsTried_ = 0;
    std::int64_t readsDone_ = 0;
    std::thread reader_;
};

}  // namespace kestrin
