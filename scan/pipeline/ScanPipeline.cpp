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
#include "scan/pipeline/ExtentResolver.h"
#include "scan/pipeline/ParallelParse.h"
#include "scan/pipeline/ScanMessages.h"
#include "scan/results/DirectoryTree.h"
#include "scan/volume/MftReader.h"
#include "scan/volume/VolumeBitmap.h"

namespace kestrin {

namespace {

void Report(const ProgressCallback& progress, std::int32_t percent, const std::wstring& text) {
    if (progress) {
        progress(percent, text);
    }
}

// The MFT image, read once, and the clusters the allocation bitmap marks as in use (nothing when
// it could not be read); the volume is closed before decoding starts.
struct MftImage {
    MftBytes bytes;
    MftGeometry geometry;
    std::optional<std::int64_t> usedClusters;
};

MftImage OpenAndRead(const std::function<bool(VolumeHandle&)>& open,
                     const ProgressCallback& progress) {
    Report(progress, 1, L"正在打开 NTFS 卷...");
    VolumeHandle volume;
    if (!open(volume)) {
        throw std::runtime_error(kOpenVolumeFailedText);
    }
    Report(progress, 5, L"正在读取 MFT...");
    MftImage image;
    if (!ReadMft(volume, image.bytes, image.geometry)) {
        throw std::runtime_error(kReadMftFailedText);
    }
    image.usedClusters = CountUsedClusters(volume, image.bytes, image.geometry);
    return image;
}

std::int32_t RecordCount(const MftImage& image) {
    const std::uint64_t count =
        image.bytes.size() / static_cast<std::uint64_t>(image.geometry.recordSize);
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

std::vector<ScanSlice> Decode(const MftImage& image, std::int32_t recordCount, unsigned threads,
                              const ProgressCallback& progress) {
    const std::int32_t sliceSize = SliceSizeFor(recordCount, threads);
    Report(progress, 10,
           L"MFT " + FormatCount(static_cast<std::uint64_t>(image.bytes.size()) >> 20) +
               L" MB \u00B7 " + FormatCount(static_cast<std::int32_t>(threads)) + L" 线程并行解析");
    ParseContext context;
    context.image = image.bytes;
    context.recordSize = image.geometry.recordSize;
    context.recordCount = recordCount;
    context.sliceSize = sliceSize;
    context.hardwareThreads = threads;
    context.progress = &progress;
    context.volume.size = image.geometry.clusterSize;
    if (image.geometry.clusterCount > 0) {
        context.volume.count = image.geometry.clusterCount;
    }
    std::vector<ScanSlice> slices = ParseAllSlices(context);
    DecodeUnnamedRecords(image.bytes, image.geometry.recordSize, slices);
    return slices;
}

// The entries of every slice are added, slice after slice, to one set of maps once the sizes of
// the whole volume's extension records are known: one largest-files list and one file list per
// folder, where maps of each slice merged afterwards copied a second largest-files list into the
// first. On one thread: applying the slices in parallel and merging their maps afterwards measured
// slower, the merge of their largest-files and folder lists costing more than a second thread
// saved.
ScanSlice ApplyAndMerge(std::vector<ScanSlice>& slices, const ExtentSizeMap& sizes) {
    ScanSlice merged;
    for (ScanSlice& slice : slices) {
        // ApplyExtents leaves `merged.entries` empty, so each slice's list is moved in, not copied.
        MergeSlice(merged, std::move(slice));
        ApplyExtents(merged, sizes);
    }
    Settle(merged.largest);
    return merged;
}

}  // namespace

ScanResult ScanVolumeMft(const std::function<bool(VolumeHandle&)>& open, std::wstring drive,
                         ProgressCallback progress, unsigned hardwareThreads) {
    const auto start = std::chrono::steady_clock::now();
    Trace(L"ScanDriveMft: start drive=%ls", drive.c_str());
    MftImage image = OpenAndRead(open, progress);
    const std::int32_t recordCount = RecordCount(image);
    std::vector<ScanSlice> slices = Decode(image, recordCount, hardwareThreads, progress);
    image.bytes = MftBytes();  // everything needed of the records is in the slices now
    // The sizes in extension records were noted while decoding; what is left is to apply them.
    Report(progress, 90, L"解析 ATTRIBUTE_LIST 溢出属性...");
    const ExtentSizeMap sizes = TakeExtentSizes(slices);
    Report(progress, 91, L"合并扩展 MFT 记录...");
    ScanSlice merged = ApplyAndMerge(slices, sizes);
    Report(progress, 92, L"构建目录树...");
    ScanResult result;
    BuildResult(result, merged, drive);
    result.space = AccountSpace(merged.clusters, image.geometry.clusterSize, image.usedClusters);
    result.unreadMftRecords = image.geometry.unreadRecords;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    result.seconds = static_cast<double>(elapsed.count()) / 1e9;
    Trace(L"ScanDriveMft: done drive=%ls records=%d dirs=%zu files=%d time=%.2fs", drive.c_str(),
          recordCount, result.dirs.size(), result.fileCount, result.seconds);
    return result;
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
