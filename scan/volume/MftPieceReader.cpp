#include "scan/volume/MftPieceReader.h"

#include <algorithm>

namespace kestrin {

namespace {

// Whole records: a record never straddles two pieces.
std::size_t PieceSizeFor(std::size_t wanted, std::int32_t recordSize, std::int64_t mftLength) {
    const auto record = static_cast<std::size_t>(std::max(recordSize, 1));
    std::size_t size = std::max(record, wanted / record * record);
    // A small MFT takes one buffer of its own length, not a piece's worth of memory.
    const auto whole = static_cast<std::size_t>((std::max<std::int64_t>(mftLength, 0) +
                                                 static_cast<std::int64_t>(record) - 1) /
                                                static_cast<std::int64_t>(record)) *
                       record;
    return std::min(size, std::max(whole, record));
}

}  // namespace

MftPieceReader::MftPieceReader(const VolumeHandle& volume, const MftLayout& layout,
                               std::size_t pieceBytes, std::size_t buffers)
    : volume_(volume),
      extents_(layout.extents),
      recordSize_(layout.geometry.recordSize),
      mftLength_(layout.geometry.mftLength),
      pieceBytes_(PieceSizeFor(pieceBytes, layout.geometry.recordSize, layout.geometry.mftLength)),
      recordsPerPiece_(static_cast<std::int64_t>(pieceBytes_) / std::max(recordSize_, 1)),
      pieceCount_(static_cast<std::size_t>(
          (std::max<std::int64_t>(mftLength_, 0) + static_cast<std::int64_t>(pieceBytes_) - 1) /
          static_cast<std::int64_t>(pieceBytes_))) {
    buffers_.resize(std::clamp<std::size_t>(buffers, 1, std::max<std::size_t>(pieceCount_, 1)));
    memory_.resize(buffers_.size() * pieceBytes_);
    reader_ = std::thread([this] { ReadAll(); });
}

MftPieceReader::~MftPieceReader() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

std::span<std::uint8_t> MftPieceReader::BufferOf(std::size_t i) {
    const std::size_t buffer = i % buffers_.size();
    const std::int64_t start =
        static_cast<std::int64_t>(i) * static_cast<std::int64_t>(pieceBytes_);
    const auto length = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(pieceBytes_), mftLength_ - start));
    return std::span<std::uint8_t>(memory_).subspan(buffer * pieceBytes_, length);
}

// The pieces are read one after another with no advice about the next one: the kernel's own
// read-ahead keeps a cold read at the pace of copying the extents with dd, and telling it of the
// next piece (posix_fadvise WILLNEED) made a cold scan take half as long again, the advice queueing
// the whole piece's reads before the current read could finish.
void MftPieceReader::ReadAll() noexcept {
    for (std::size_t i = 0; i < pieceCount_; ++i) {
        Buffer& buffer = buffers_[i % buffers_.size()];
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || !buffer.holding; });
            if (stopping_) {
                return;
            }
            buffer = Buffer{i, true, false};
        }
        ReadPiece(i, BufferOf(i));
        {
            const std::lock_guard<std::mutex> guard(lock_);
            buffer.ready = true;
        }
        changed_.notify_all();
    }
}

void MftPieceReader::ReadPiece(std::size_t i, std::span<std::uint8_t> target) {
    const std::int64_t start =
        static_cast<std::int64_t>(i) * static_cast<std::int64_t>(pieceBytes_);
    const std::int64_t end = start + static_cast<std::int64_t>(target.size());
    std::vector<std::pair<std::int64_t, std::int64_t>> filled;  // inside the piece
    std::int64_t tried = 0;
    std::int64_t done = 0;
    // In run order, as the whole MFT used to be read: where damaged runs overlap, the later wins.
    for (const MftExtent& extent : extents_) {
        const std::int64_t from = std::max(start, extent.start);
        const std::int64_t to = std::min(end, extent.start + extent.length);
        if (from >= to) {
            continue;
        }
        const auto part = target.subspan(static_cast<std::size_t>(from - start),
                                         static_cast<std::size_t>(to - from));
        ++tried;
        if (ReadAt(volume_, extent.volumeOffset + (from - extent.start), part)) {
            ++done;
            filled.emplace_back(from - start, to - start);
        } else {
            std::fill(part.begin(), part.end(), std::uint8_t{0});
        }
    }
    std::sort(filled.begin(), filled.end());
    const std::int64_t unread = ZeroUnfilled(target, filled, recordSize_);
    const std::lock_guard<std::mutex> guard(lock_);
    unreadRecords_ += unread;
    readsTried_ += tried;
    readsDone_ += done;
}

std::span<const std::uint8_t> MftPieceReader::Wait(std::size_t i) {
    Buffer& buffer = buffers_[i % buffers_.size()];
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return buffer.holding && buffer.piece == i && buffer.ready; });
    return BufferOf(i);
}

void MftPieceReader::Release(std::size_t i) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        Buffer& buffer = buffers_[i % buffers_.size()];
        if (buffer.holding && buffer.piece == i) {
            buffer = Buffer{};
        }
    }
    changed_.notify_all();
}

std::int64_t MftPieceReader::UnreadRecords() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return unreadRecords_;
}

bool MftPieceReader::ReadAnything() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return readsTried_ == 0 || readsDone_ > 0;
}

}  // namespace kestrin
