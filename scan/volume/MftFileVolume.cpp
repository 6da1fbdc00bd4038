#include "scan/volume/MftFileVolume.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/NtfsVolumeData.h"
#include "scan/volume/MftFileRecords.h"
#include "scan/volume/StreamReader.h"

namespace kestrin {

namespace {

// Enough of the file's start to tell the record size from record 0's header.
constexpr std::size_t kHeaderBytes = 1024;
constexpr std::int64_t kSectorSize = 512;
constexpr std::int64_t kMftRecord = 0;
constexpr std::int64_t kBitmapRecord = 6;
// The most sectors a boot sector may state.
constexpr std::int64_t kMostSectors = (std::int64_t{1} << 47) - 1;

// Where the bytes of a stretch of the volume come from.
enum class Holder {
    File,        // the MFT's extents: the file, at their place in the MFT
    List,        // the MFT's attribute list, which is made anew from the extension records
    Unreadable,  // the allocation bitmap, which the file does not hold
};

// A stretch of the volume: its bytes [start, start + length), and where they lie in the stream
// they belong to.
struct Stretch {
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::int64_t streamOffset = 0;
    Holder holder = Holder::File;

    std::int64_t End() const { return start + length; }
};

// The runs as stretches of the volume in bytes, appended; sparse runs place nothing.
void AddStretches(const std::vector<DataRun>& runs, std::int64_t clusterSize, Holder holder,
                  std::vector<Stretch>& stretches) {
    for (const DataRun& run : runs) {
        Stretch stretch;
        stretch.holder = holder;
        if (run.lcn >= 0 && MultiplyNonNegative(run.lcn, clusterSize, stretch.start) &&
            MultiplyNonNegative(run.clusters, clusterSize, stretch.length) &&
            MultiplyNonNegative(run.vcn, clusterSize, stretch.streamOffset) &&
            stretch.start <= std::numeric_limits<std::int64_t>::max() - stretch.length) {
            stretches.push_back(stretch);
        }
    }
}

// Record 0's attribute list, where it is not resident: its clusters are not in the file, so a
// list naming the extension records found in the file is read there instead.
struct MftExtensions {
    std::vector<DataRun> listRuns;  // where the attribute list lies on the volume
    std::vector<std::uint8_t> list;
};

// The stretch that holds `offset`, or else the first that starts after it; null when none does.
// `stretches` are in volume order.
const Stretch* StretchAtOrAfter(const std::vector<Stretch>& stretches, std::int64_t offset) {
    const auto found = std::upper_bound(
        stretches.begin(), stretches.end(), offset,
        [](std::int64_t at, const Stretch& stretch) { return at < stretch.End(); });
    return found != stretches.end() ? &*found : nullptr;
}

// The stretches in volume order, each place held by one: where damaged run lists overlap, the
// stretch added first keeps it.
std::vector<Stretch> WithoutOverlaps(std::vector<Stretch> stretches) {
    std::stable_sort(stretches.begin(), stretches.end(),
                     [](const Stretch& a, const Stretch& b) { return a.start < b.start; });
    std::vector<Stretch> kept;
    for (Stretch stretch : stretches) {
        const std::int64_t free = kept.empty() ? 0 : kept.back().End();
        if (stretch.End() <= free) {
            continue;
        }
        if (stretch.start < free) {
            stretch.streamOffset += free - stretch.start;
            stretch.length -= free - stretch.start;
            stretch.start = free;
        }
        kept.push_back(stretch);
    }
    return kept;
}

// The boot sector of a volume of `clusters` clusters whose MFT starts at `mftLcn`.
std::vector<std::uint8_t> MakeBootSector(std::int64_t clusterSize, std::int32_t recordSize,
                                         std::int64_t clusters, std::int64_t mftLcn) {
    std::vector<std::uint8_t> sector(static_cast<std::size_t>(kSectorSize), 0);
    const auto put = [&](std::size_t offset, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            sector[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    const auto log2 = [](std::int64_t value) {
        int shift = 0;
        while ((std::int64_t{1} << shift) < value) {
            ++shift;
        }
        return shift;
    };
    std::memcpy(sector.data() + 3, "NTFS    ", 8);
    put(0x0B, kSectorSize, 2);
    const std::int64_t sectorsPerCluster = clusterSize / kSectorSize;
    // Above 128 sectors a cluster is stored as a negative power of two.
    put(0x0D, sectorsPerCluster <= 0x80 ? sectorsPerCluster : 256 - log2(sectorsPerCluster), 1);
    put(0x28, static_cast<std::uint64_t>(std::min(clusters * sectorsPerCluster, kMostSectors)), 8);
    put(0x30, static_cast<std::uint64_t>(mftLcn), 8);
    put(0x38, static_cast<std::uint64_t>(mftLcn), 8);
    // Records of a cluster or more are counted in clusters, smaller ones as a negative power.
    put(0x40, recordSize >= clusterSize ? recordSize / clusterSize : 256 - log2(recordSize), 1);
    put(0x44, 1, 1);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

class MftFileVolume final : public VolumeSource {
public:
    MftFileVolume(std::unique_ptr<VolumeSource> file, std::vector<Stretch> stretches,
                  std::vector<std::uint8_t> list, std::vector<std::uint8_t> bootSector,
                  std::int64_t size)
        : file_(std::move(file)),
          stretches_(std::move(stretches)),
          list_(std::move(list)),
          bootSector_(std::move(bootSector)),
          size_(size) {}

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        if (offset < 0 || offset > size_ ||
            static_cast<std::uint64_t>(size_ - offset) < buffer.size()) {
            return false;
        }
        std::size_t done = 0;
        while (done < buffer.size()) {
            const std::int64_t at = offset + static_cast<std::int64_t>(done);
            const std::int64_t left = static_cast<std::int64_t>(buffer.size() - done);
            const Stretch* stretch = StretchAtOrAfter(stretches_, at);
            const bool inside = stretch != nullptr && stretch->start <= at;
            const std::int64_t length =
                !inside ? (stretch != nullptr ? stretch->start - at : left) : stretch->End() - at;
            const auto piece =
                buffer.subspan(done, static_cast<std::size_t>(std::min(left, length)));
            if (!(inside ? ReadHeld(*stretch, stream(*stretch, at), piece) : ReadFree(at, piece))) {
                return false;
            }
            done += piece.size();
        }
        return true;
    }

    bool QueryVolumeData(VolumeDataReply&) override { return false; }

    bool MapAt(std::int64_t offset, std::span<std::uint8_t> target) override {
        const Stretch* stretch = StretchAtOrAfter(stretches_, offset);
        if (stretch == nullptr || stretch->holder != Holder::File || stretch->start > offset ||
            static_cast<std::uint64_t>(stretch->End() - offset) < target.size()) {
            return false;
        }
        return file_->MapAt(stream(*stretch, offset), target);
    }

    std::int64_t Size() override { return size_; }

private:
    static std::int64_t stream(const Stretch& stretch, std::int64_t at) {
        return stretch.streamOffset + (at - stretch.start);
    }

    bool ReadHeld(const Stretch& stretch, std::int64_t streamOffset,
                  std::span<std::uint8_t> piece) {
        switch (stretch.holder) {
            case Holder::File:
                return file_->ReadAt(streamOffset, piece);
            case Holder::List:
                std::fill(piece.begin(), piece.end(), std::uint8_t{0});
                if (streamOffset < std::ssize(list_)) {
                    std::memcpy(piece.data(), list_.data() + streamOffset,
                                std::min(piece.size(),
                                         list_.size() - static_cast<std::size_t>(streamOffset)));
                }
                return true;
            case Holder::Unreadable:
                break;
        }
        return false;
    }

    // Clusters no stream of the file places: zeros, the boot sector at the start.
    bool ReadFree(std::int64_t at, std::span<std::uint8_t> piece) {
        std::fill(piece.begin(), piece.end(), std::uint8_t{0});
        if (at < std::ssize(bootSector_)) {
            std::memcpy(piece.data(), bootSector_.data() + at,
                        std::min(piece.size(), bootSector_.size() - static_cast<std::size_t>(at)));
        }
        return true;
    }

    std::unique_ptr<VolumeSource> file_;
    std::vector<Stretch> stretches_;  // in volume order
    std::vector<std::uint8_t> list_;
    std::vector<std::uint8_t> bootSector_;
    std::int64_t size_;
};

}  // namespace

std::unique_ptr<VolumeSource> MakeMftFileVolume(std::unique_ptr<VolumeSource> file,
                                                std::int64_t clusterSize) {
    if (file == nullptr || !IsUsableClusterSize(clusterSize)) {
        return nullptr;
    }
    std::vector<std::uint8_t> header(kHeaderBytes);
    if (!file->ReadAt(0, header)) {
        return nullptr;
    }
    const std::int32_t recordSize = BareMftRecordSize(header);
    if (recordSize == 0) {
        return nullptr;
    }
    std::int64_t mftStreamBytes = 0;  // the volume reads the MFT's length from record 0 itself
    std::vector<DataRun> mftRuns =
        FileRecordDataRuns(*file, kMftRecord, recordSize, mftStreamBytes);
    MftExtensions extensions;
    if (!mftRuns.empty()) {
        const std::vector<std::uint8_t> record0 = ReadFileRecord(*file, kMftRecord, recordSize);
        extensions.listRuns = NonResidentListRuns(ByteReader(record0));
        if (!extensions.listRuns.empty()) {
            extensions.list = FindMftExtensions(*file, recordSize, mftRuns);
        }
    }
    std::vector<Stretch> stretches;
    AddStretches(mftRuns, clusterSize, Holder::File, stretches);
    const bool placed =
        !stretches.empty() && std::none_of(stretches.begin(), stretches.end(),
                                           [](const Stretch& s) { return s.start == 0; });
    if (!placed) {
        // No run list to go by: the file is the MFT, from the first cluster past the boot sector.
        const std::int64_t fileSize = file->Size();
        if (fileSize <= 0) {
            return nullptr;
        }
        const std::int64_t bootArea = static_cast<std::int64_t>(kBootSectorReadSize);
        stretches = {Stretch{(bootArea + clusterSize - 1) / clusterSize * clusterSize, fileSize, 0,
                             Holder::File}};
        extensions = MftExtensions{};
    }
    const std::int64_t mftStart = std::min_element(stretches.begin(), stretches.end(),
                                                   [](const Stretch& a, const Stretch& b) {
                                                       return a.streamOffset < b.streamOffset;
                                                   })
                                      ->start;
    AddStretches(extensions.listRuns, clusterSize, Holder::List, stretches);
    std::int64_t bitmapBytes = 0;
    AddStretches(FileRecordDataRuns(*file, kBitmapRecord, recordSize, bitmapBytes), clusterSize,
                 Holder::Unreadable, stretches);
    stretches = WithoutOverlaps(std::move(stretches));
    // The bitmap has a bit for every cluster; without it the volume is as large as a boot
    // sector can say, so that no file's clusters fall outside it.
    const std::int64_t mostClusters = kMostSectors / (clusterSize / kSectorSize);
    std::int64_t clusters =
        bitmapBytes > 0 && bitmapBytes < mostClusters / 8 ? bitmapBytes * 8 : mostClusters;
    for (const Stretch& stretch : stretches) {
        clusters = std::max(clusters, (stretch.End() + clusterSize - 1) / clusterSize);
    }
    clusters = std::min(clusters, mostClusters);
    std::vector<std::uint8_t> boot =
        MakeBootSector(clusterSize, recordSize, clusters, mftStart / clusterSize);
    return std::make_unique<MftFileVolume>(std::move(file), std::move(stretches),
                                           std::move(extensions.list), std::move(boot),
                                           clusters * clusterSize);
}

}  // namespace kestrin
