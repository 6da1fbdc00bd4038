#include "scan/pipeline/ScanPipeline.h"

#include <chrono>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "render/Format.h"
#include "scan/common/Trace.h"
#include "scan/ntfs/ExtensionIndex.h"
#include "scan/ntfs/MftRecords.h"
#include "scan/pipeline/ExtentResolver.h"
#include "scan/pipeline/ParallelParse.h"
#include "scan/pipeline/ScanMessages.h"
#include "scan/results/DirectoryTree.h"
#include "scan/volume/MftPieceReader.h"
#include "scan/volume/MftReader.h"
#include "scan/volume/MftRecordCache.h"
#include "scan/volume/VolumeBitmap.h"

namespace kestrin {

namespace {

void Report(const ProgressCallback& progress, std::int32_t percent, const std::wstring& text) {
    if (progress) {
        progress(percent, text);
    }
}

// The volume, open from the first step until the last record needed out of order has been read,
// and where its MFT lies.
struct LocatedMft {
    VolumeHandle volume;
    MftLayout layout;
};

void OpenAndLocate(const std::function<bool(VolumeHandle&)>& open, const ProgressCallback& progress,
                   LocatedMft& mft) {
    Report(progress, 1, L"正在打开 NTFS 卷...");
    if (!open(mft.volume)) {
        throw std::runtime_error(kOpenVolumeFailedText);
    }
    Report(progress, 5, L"正在读取 MFT...");
    if (!LocateMft(mft.volume, mft.layout)) {
        throw std::runtime_error(kReadMftFailedText);
    }
}

std::int32_t RecordCount(const MftGeometry& geometry) {
    const std::int64_t count = geometry.mftLength / geometry.recordSize;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

// What decoding the MFT piece by piece left.
struct DecodedPieces {
    std::vector<ScanSlice> slices;
    std::int64_t unreadRecords = 0;
    bool readAnything = false;
    std::size_t heldBytes = 0;
    std::size_t pieces = 0;
};

DecodedPieces DecodePieces(const VolumeHandle& volume, const MftLayout& layout,
                           const ParseContext& context, const MftReadSettings& settings) {
    MftPieceReader reader(volume, layout, settings.pieceBytes, settings.pieceBuffers);
    DecodedPieces decoded;
    LateRecordKeeper keeper(context.recordCount, static_cast<std::int64_t>(settings.keptBytes));
    ParseContext keeping = context;
    keeping.keeper = &keeper;
    decoded.slices = ParsePieces(reader, keeping);
    decoded.unreadRecords = reader.UnreadRecords();
    decoded.readAnything = reader.ReadAnything();
    decoded.heldBytes = reader.HeldBytes();
    decoded.pieces = reader.PieceCount();
    return decoded;
}

// The records decoded, or their sizes found, only once every piece had passed.
std::int64_t LateRecords(const std::vector<ScanSlice>& slices) {
    std::int64_t late = 0;
    for (const ScanSlice& slice : slices) {
        late +=
            static_cast<std::int64_t>(slice.unnamedRecords.size() + slice.lateSizeRecords.size());
    }
    return late;
}

// Everything the scan takes from the volume: the decoded slices, the clusters the allocation
// bitmap marks as in use (nothing when it could not be read), and how the MFT was read. The volume
// is closed before the slices are merged.
struct VolumeScan {
    std::vector<ScanSlice> slices;
    MftGeometry geometry;
    std::optional<std::int64_t> usedClusters;
    MftReading reading;
};

// Whether the allocation bitmap is counted before the volume closes: a listing of the records
// needs none, and a large volume's bitmap is a read of its own.
enum class UsedClusters { kCount, kSkip };

VolumeScan Decode(LocatedMft& mft, unsigned threads, const ProgressCallback& progress,
                  const MftReadSettings& settings, UsedClusters usedClusters) {
    VolumeScan scan;
    scan.geometry = mft.layout.geometry;
    const std::int32_t recordCount = RecordCount(scan.geometry);
    Report(progress, 10,
           L"MFT " + FormatCount(static_cast<std::uint64_t>(scan.geometry.mftLength) >> 20) +
               L" MB \u00B7 " + FormatCount(static_cast<std::int32_t>(threads)) + L" 线程并行解析");
    ParseContext context;
    context.recordSize = scan.geometry.recordSize;
    context.recordCount = recordCount;
    context.hardwareThreads = threads;
    context.progress = &progress;
    context.volume.size = scan.geometry.clusterSize;
    if (scan.geometry.clusterCount > 0) {
        context.volume.count = scan.geometry.clusterCount;
    }
    MftLayout layout = mft.layout;
    DecodedPieces decoded = DecodePieces(mft.volume, layout, context, settings);
    // Not one extent the run list places could be read: the MFT is read in one piece from its
    // first cluster instead, as when there is no run list. The progress has been told already.
    if (!decoded.readAnything && !layout.contiguous) {
        layout = ContiguousLayout(layout);
        context.progress = nullptr;
        decoded = DecodePieces(mft.volume, layout, context, settings);
    }
    if (!decoded.readAnything) {
        throw std::runtime_error(kReadMftFailedText);
    }
    scan.slices = std::move(decoded.slices);
    scan.geometry.unreadRecords = decoded.unreadRecords;
    MftRecordCache cache(mft.volume, layout.runs, scan.geometry.clusterSize,
                         scan.geometry.mftLength, scan.geometry.recordSize,
                         settings.cacheBlockBytes, settings.cacheBlocks);
    for (ScanSlice& slice : scan.slices) {
        for (auto& [number, raw] : slice.keptRecords) {
            cache.Keep(number, std::move(raw));
        }
        std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>>().swap(slice.keptRecords);
    }
    const MftRecords records({}, scan.geometry.recordSize, 0,
                             scan.geometry.mftLength / scan.geometry.recordSize, &cache);
    scan.reading.lateRecords = LateRecords(scan.slices);
    DecodeUnnamedRecords(records, scan.slices);
    if (usedClusters == UsedClusters::kCount) {
        scan.usedClusters = CountUsedClusters(mft.volume, records, scan.geometry);
    }
    mft.volume.Close();
    scan.reading.heldBytes = static_cast<std::int64_t>(decoded.heldBytes + cache.HeldBytes());
    scan.reading.pieces = static_cast<std::int64_t>(decoded.pieces);
    scan.reading.recordReads = cache.Reads();
    return scan;
}

// The entries of every slice are added, slice after slice, to one set of maps once the sizes of
// the whole volume's extension records are known: one largest-files list and one file list per
// folder, where maps of each slice merged afterwards copied a second largest-files list into the
// first. On one thread: applying the slices in parallel and merging their maps afterwards measured
// slower, the merge of their largest-files and folder lists costing more than a second thread
// saved.
ScanSlice ApplyAndMerge(std::vector<ScanSlice>& slices, const ExtentSizeList& sizes,
                        std::int32_t recordCount) {
    ScanSlice merged;
    merged.folders.ReserveRecords(recordCount);
    CountFileLists(merged, slices);
    // Extension records only raise sizes, so the sizes counted while decoding tell a size that
    // enough files reach.
    SizeHistogram counted;
    for (const ScanSlice& slice : slices) {
        counted.Add(slice.fileSizes);
    }
    ExpectAtLeast(merged.largest, counted.LeastOfRank(merged.largest.capacity));
    for (ScanSlice& slice : slices) {
        // Taken before the merge, which drops them: the merged entries are this slice's alone.
        const ExtensionIds ids = std::move(slice.extensionIds);
        // ApplyExtents leaves `merged.entries` empty, so each slice's list is moved in, not copied.
        MergeSlice(merged, std::move(slice));
        ApplyExtents(merged, sizes, &ids);
    }
    Settle(merged.largest);
    return merged;
}

}  // namespace

ScanResult ScanVolumeMft(const std::function<bool(VolumeHandle&)>& open, std::wstring drive,
                         ProgressCallback progress, unsigned hardwareThreads,
                         const MftReadSettings& settings) {
    const auto start = std::chrono::steady_clock::now();
    Trace(L"ScanDriveMft: start drive=%ls", drive.c_str());
    VolumeScan scan;
    {
        LocatedMft mft;
        OpenAndLocate(open, progress, mft);
        scan = Decode(mft, hardwareThreads, progress, settings, UsedClusters::kCount);
    }
    const std::int32_t recordCount = RecordCount(scan.geometry);
    // The sizes in extension records were noted while decoding; what is left is to apply them.
    Report(progress, 90, L"解析 ATTRIBUTE_LIST 溢出属性...");
    const ExtentSizeList sizes = TakeExtentSizes(scan.slices);
    Report(progress, 91, L"合并扩展 MFT 记录...");
    ScanSlice merged = ApplyAndMerge(scan.slices, sizes, recordCount);
    Report(progress, 92, L"构建目录树...");
    ScanResult result;
    BuildResult(result, merged, drive);
    result.space = AccountSpace(merged.clusters, scan.geometry.clusterSize, scan.usedClusters);
    result.unreadMftRecords = scan.geometry.unreadRecords;
    result.mftReading = scan.reading;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    result.seconds = static_cast<double>(elapsed.count()) / 1e9;
    Trace(L"ScanDriveMft: done drive=%ls records=%d dirs=%zu files=%d time=%.2fs", drive.c_str(),
          recordCount, result.dirs.size(), result.fileCount, result.seconds);
    return result;
}

DecodedRecords DecodeVolumeRecords(const std::function<bool(VolumeHandle&)>& open,
                                   unsigned hardwareThreads, const MftReadSettings& settings) {
    LocatedMft mft;
    OpenAndLocate(open, ProgressCallback(), mft);
    VolumeScan scan =
        Decode(mft, hardwareThreads, ProgressCallback(), settings, UsedClusters::kSkip);
    return DecodedRecords{std::move(scan.slices), scan.geometry.unreadRecords};
}

ScanResult ScanDriveMft(std::wstring drive, ProgressCallback progress) {
    const std::wstring letter = drive;
    return ScanVolumeMft([&](VolumeHandle& volume) { return OpenVolume(volume, letter); },
                         std::move(drive), std::move(progress),
                         std::thread::hardware_concurrency());
}

ScanResult ScanPathMft(const std::filesystem::path& source, std::wstring drive,
                       ProgressCallback progress) {
    return ScanVolumeMft([&](VolumeHandle& volume) { return OpenVolumePath(volume, source); },
                         std::move(drive), std::move(progress),
                         std::thread::hardware_concurrency());
}

}  // namespace kestrin
