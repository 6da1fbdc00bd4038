#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

namespace kestrin {

// Size of the platform's NTFS volume-data reply (NTFS_VOLUME_DATA_BUFFER).
inline constexpr std::size_t kVolumeDataReplySize = 96;
using VolumeDataReply = std::array<std::uint8_t, kVolumeDataReplySize>;

// One readable NTFS volume: the raw volume of a drive letter, a raw image file or a block
// device. The scan engine reads the volume only through this seam, so everything above it is
// portable and can be fed from an image in tests.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;

    // Positioned read of exactly buffer.size() bytes; false when the read fails or ends early.
    // A read of 0 bytes only positions and succeeds.
    virtual bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) = 0;

    // The platform's NTFS volume-data query. False where the platform has no such query for this
    // source (an image, a block device, or Wine, which answers "not supported"); the caller then
    // derives the same values from the boot sector.
    virtual bool QueryVolumeData(VolumeDataReply& reply) = 0;

    // Places the bytes at `offset` into `target` without copying them, where the source can: the
    // same bytes ReadAt would give, private to this process (writing to `target` never reaches
    // the volume). `target` must lie in a buffer that AllocateLargeBuffer made and reported as
    // remappable. False when the source cannot; the caller then reads.
    virtual bool MapAt(std::int64_t offset, std::span<std::uint8_t> target) {
        (void)offset;
        (void)target;
        return false;
    }

    // The source's length in bytes: an image file's size, a device's capacity. -1 when it cannot
    // tell.
    virtual std::int64_t Size() { return -1; }
};

// The stretch [offset, offset + length) of another source as a source of its own: a partition
// of a disk. Reads outside it fail; the volume-data query is never answered, so the geometry
// comes from the partition's boot sector.
std::unique_ptr<VolumeSource> MakeVolumeWindow(std::unique_ptr<VolumeSource> disk,
                                               std::int64_t offset, std::int64_t length);

// Opens the raw volume of a drive letter ("C") for reading, after enabling the backup privilege.
// Null when it cannot be opened, and always null on platforms without drive letters.
std::unique_ptr<VolumeSource> OpenDriveSource(std::wstring_view drive);

// Opens a raw image file or a block device for reading. Null when it cannot be opened.
std::unique_ptr<VolumeSource> OpenPathSource(const std::filesystem::path& path);

}  // namespace kestrin
