#include <limits>
#include <utility>

#include "scan/source/VolumeSource.h"

namespace kestrin {

namespace {

class VolumeWindow final : public VolumeSource {
public:
    VolumeWindow(std::unique_ptr<VolumeSource> disk, std::int64_t offset, std::int64_t length)
        : disk_(std::move(disk)), offset_(offset), length_(length) {}

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        return Inside(offset, buffer.size()) && disk_->ReadAt(offset_ + offset, buffer);
    }

    bool QueryVolumeData(VolumeDataReply&) override { return false; }

    bool MapAt(std::int64_t offset, std::span<std::uint8_t> target) override {
        return Inside(offset, target.size()) && disk_->MapAt(offset_ + offset, target);
    }

    std::int64_t Size() override { return length_; }

private:
    bool Inside(std::int64_t offset, std::size_t size) const {
        return offset >= 0 && offset <= length_ &&
               size <= static_cast<std::uint64_t>(length_ - offset);
    }

    std::unique_ptr<VolumeSource> disk_;
    std::int64_t offset_;
    std::int64_t length_;
};

}  // namespace

std::unique_ptr<VolumeSource> MakeVolumeWindow(std::unique_ptr<VolumeSource> disk,
                                               std::int64_t offset, std::int64_t length) {
    if (disk == nullptr || offset < 0 || length <= 0 ||
        offset > std::numeric_limits<std::int64_t>::max() - length) {
        return nullptr;
    }
    return std::make_unique<VolumeWindow>(std::move(disk), offset, length);
}

}  // namespace kestrin
