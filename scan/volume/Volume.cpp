#include "scan/volume/Volume.h"

#include <vector>

#include "scan/ntfs/RecordFixup.h"

namespace kestrin {

namespace {

bool VolumeDataFromBootSector(VolumeSource& source, NtfsVolumeData& data) {
    std::vector<std::uint8_t> sector(kBootSectorReadSize);
    if (!source.ReadAt(0, sector)) {
        return false;
    }
    const std::optional<BootSector> boot = ParseBootSector(sector);
    if (!boot) {
        return false;
    }
    std::vector<std::uint8_t> record0(static_cast<std::size_t>(boot->bytesPerFileRecord));
    const std::int64_t mftOffset =
        static_cast<std::int64_t>(boot->bytesPerCluster) * boot->mftStartLcn;
    if (!source.ReadAt(mftOffset, record0)) {
        return false;
    }
    ApplyFixup(record0);
    const std::int64_t validLength = MftValidDataLengthOf(record0);
    // An MFT longer than the volume is damage, not something to allocate memory for.
    if (validLength <= 0 || validLength > boot->volumeBytes) {
        return false;
    }
    data.bytesPerCluster = boot->bytesPerCluster;
    data.bytesPerFileRecordSegment = boot->bytesPerFileRecord;
    data.mftValidDataLength = validLength;
    data.mftStartLcn = boot->mftStartLcn;
    data.totalClusters = boot->totalClusters;
    return true;
}

}  // namespace

bool QueryVolumeData(const VolumeHandle& volume, NtfsVolumeData& data) {
    data = NtfsVolumeData{};
    VolumeSource* source = volume.Source();
    if (source == nullptr) {
        return false;
    }
    VolumeDataReply reply{};
    if (source->QueryVolumeData(reply)) {
        data = VolumeDataFromReply(reply);
        return true;
    }
    return VolumeDataFromBootSector(*source, data);
}

bool OpenVolumeSource(VolumeHandle& volume, std::unique_ptr<VolumeSource> source) {
    volume.Close();
    if (source == nullptr) {
        return false;
    }
    volume.Attach(std::move(source));
    NtfsVolumeData data;
    if (!QueryVolumeData(volume, data)) {
        volume.Close();
        return false;
    }
    return true;
}

bool OpenVolume(VolumeHandle& volume, std::wstring_view drive) {
    volume.Close();
    return OpenVolumeSource(volume, OpenDriveSource(drive));
}

bool OpenVolumePath(VolumeHandle& volume, const std::filesystem::path& path) {
    volume.Close();
    return OpenVolumeSource(volume, OpenPathSource(path));
}

bool ReadAt(const VolumeHandle& volume, std::int64_t offset, std::span<std::uint8_t> buffer) {
    VolumeSource* source = volume.Source();
    return source != nullptr && offset >= 0 && source->ReadAt(offset, buffer);
}

bool MapAt(const VolumeHandle& volume, std::int64_t offset, std::span<std::uint8_t> target) {
    VolumeSource* source = volume.Source();
    return source != nullptr && offset >= 0 && source->MapAt(offset, target);
}

}  // namespace kestrin
