#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include "scan/ntfs/NtfsVolumeData.h"
#include "scan/source/VolumeSource.h"

namespace kestrin {

// Owns the open volume of one scan; empty when nothing is open.
class VolumeHandle {
public:
    VolumeHandle() = default;
    VolumeHandle(VolumeHandle&&) noexcept = default;
    VolumeHandle& operator=(VolumeHandle&&) noexcept = default;
    VolumeHandle(const VolumeHandle&) = delete;
    VolumeHandle& operator=(const VolumeHandle&) = delete;

    bool IsOpen() const { return source_ != nullptr; }
    void Close() { source_.reset(); }
    VolumeSource* Source() const { return source_.get(); }
    void Attach(std::unique_ptr<VolumeSource> source) { source_ = std::move(source); }

private:
    std::unique_ptr<VolumeSource> source_;
};

// Opens the raw volume of a drive letter; true when it is open and answers as an NTFS volume.
bool OpenVolume(VolumeHandle& volume, std::wstring_view drive);

// The same for a raw image file or a block device.
bool OpenVolumePath(VolumeHandle& volume, const std::filesystem::path& path);

// Adopts an already opened source (a test's in-memory volume, for one); the same NTFS check.
bool OpenVolumeSource(VolumeHandle& volume, std::unique_ptr<VolumeSource> source);

// The volume's geometry: the platform's volume-data query where it answers, else the boot sector
// and the MFT's own record, which hold the same four values.
bool QueryVolumeData(const VolumeHandle& volume, NtfsVolumeData& data);

// Positioned read of exactly buffer.size() bytes.
bool ReadAt(const VolumeHandle& volume, std::int64_t offset, std::span<std::uint8_t> buffer);

// Places the bytes without copying where the source can (VolumeSource::MapAt); false otherwise.
bool MapAt(const VolumeHandle& volume, std::int64_t offset, std::span<std::uint8_t> target);

}  // namespace kestrin
