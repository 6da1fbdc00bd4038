#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "scan/results/ScanResult.h"
#include "scan/results/ScanSlice.h"
#include "scan/volume/Volume.h"

namespace kestrin {

// Scans the NTFS volume of a drive letter ("C"): opens it, reads the whole MFT, decodes every
// record in parallel, merges what extension records hold, and builds the tree and statistics.
// Progress goes to `progress` (which may be empty); failures throw with the user's text.
ScanResult ScanDriveMft(std::wstring drive, ProgressCallback progress);

// The same pipeline on a raw image or block device; `drive` names the root and the paths.
ScanResult ScanPathMft(const std::filesystem::path& source, std::wstring drive,
                       ProgressCallback progress);

// How much of the MFT a scan holds: the pieces it is read in and how many of them, the blocks of
// records it keeps of those read out of order, and the records it puts off. A few tens of MiB,
// whatever the MFT's length.
struct MftReadSettings {
    std::size_t pieceBytes = std::size_t{16} << 20;
    std::size_t pieceBuffers = 4;
    std::size_t cacheBlockBytes = std::size_t{16} << 10;
    std::size_t cacheBlocks = 64;
    // Raw copies of the records the decode puts off until every piece has passed, kept so that
    // they are not read again: each would be a read of its own, a seek on a spinning disk.
    std::size_t keptBytes = std::size_t{16} << 20;
};

// Every record of the MFT decoded as the pipeline decodes it, read a piece at a time, and nothing
// more: the entries in record order across the slices, their sizes as their own records give
// them (what extension records hold is not applied). Memory grows with the entries, not with the
// MFT. Failures throw with the user's text, as the pipeline's do.
struct DecodedRecords {
    std::vector<ScanSlice> slices;
    std::int64_t unreadRecords = 0;
};
DecodedRecords DecodeVolumeRecords(const std::function<bool(VolumeHandle&)>& open,
                                   unsigned hardwareThreads,
                                   const MftReadSettings& settings = MftReadSettings{});

// The pipeline with the volume opened by `open` and the hardware thread count given, as the
// two entry points above call it.
ScanResult ScanVolumeMft(const std::function<bool(VolumeHandle&)>& open, std::wstring drive,
                         ProgressCallback progress, unsigned hardwareThreads,
                         const MftReadSettings& settings = MftReadSettings{});

}  // namespace kestrin
