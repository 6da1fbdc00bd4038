#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "make-image/Clusters.h"
#include "make-image/ImageFile.h"
#include "make-image/ImageLayout.h"

namespace kestrin::image {

// Appends records in record order to their places in the MFT's extents, a chunk at a time.
class MftStream {
public:
    MftStream(ImageFile& file, std::vector<Piece> extents)
        : file_(file), extents_(std::move(extents)) {
        buffer_.reserve(kChunk);
    }

    std::int64_t OffsetOf(std::int64_t record) const {
        std::int64_t vcnByte = record * kRecordSize;
        for (const Piece& e : extents_) {
            if (vcnByte < e.clusters * kCluster) {
                return e.lcn * kCluster + vcnByte;
            }
            vcnByte -= e.clusters * kCluster;
        }
        throw std::logic_error("record beyond the MFT");
    }

    void Add(const Bytes& record) {
        if (record.size() != static_cast<std::size_t>(kRecordSize)) {
            throw std::logic_error("record of the wrong size");
        }
        const std::int64_t offset = OffsetOf(count_);
        if (!buffer_.empty() &&
            (offset != bufferOffset_ + static_cast<std::int64_t>(buffer_.size()) ||
             buffer_.size() + record.size() > kChunk)) {
            Flush();
        }
        if (buffer_.empty()) {
            bufferOffset_ = offset;
        }
        buffer_.insert(buffer_.end(), record.begin(), record.end());
        if ((record[0x16] & 1) != 0) {
            inUse_.resize(static_cast<std::size_t>(count_ / 8 + 1), 0);
            inUse_[static_cast<std::size_t>(count_ / 8)] |=
                static_cast<std::uint8_t>(1u << (count_ % 8));
        }
        if (count_ < 4) {
            mirror_.insert(mirror_.end(), record.begin(), record.end());
        }
        ++count_;
    }

    void Rewrite(std::int64_t number, const Bytes& record) {
        file_.WriteAt(OffsetOf(number), record);
        if (number < 4) {
            std::copy(record.begin(), record.end(), mirror_.begin() + number * kRecordSize);
        }
    }

    void Flush() {
        if (!buffer_.empty()) {
            file_.WriteAt(bufferOffset_, buffer_);
            buffer_.clear();
        }
    }

    std::int64_t Count() const { return count_; }
    const Bytes& InUse() const { return inUse_; }
    const Bytes& Mirror() const { return mirror_; }

private:
    static constexpr std::size_t kChunk = 8 << 20;
    ImageFile& file_;
    std::vector<Piece> extents_;
    Bytes buffer_;
    std::int64_t bufferOffset_ = 0;
    std::int64_t count_ = 0;
    Bytes inUse_;
    Bytes mirror_;
};

}  // namespace kestrin::image
