// A whole scan of a small volume image held in memory: boot sector, MFT geometry, the MFT's run
// list and its extension records, decoding, extension sizes and the tree. A thrown
// std::exception is the scan refusing a volume it cannot read, which is fine; anything else that
// stops the run is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <span>

#include "scan/pipeline/ScanPipeline.h"

namespace {

using namespace kestrin;

class MemoryVolume final : public VolumeSource {
public:
    explicit MemoryVolume(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        if (offset < 0 || static_cast<std::uint64_t>(offset) > bytes_.size() ||
            buffer.size() > bytes_.size() - static_cast<std::size_t>(offset)) {
            return false;
        }
        std::copy_n(bytes_.begin() + offset, buffer.size(), buffer.begin());
        return true;
    }
    // An image file has no volume-data query: the geometry comes from the fuzzed boot sector.
    bool QueryVolumeData(VolumeDataReply&) override { return false; }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace

// A broken promise aborts, so that libFuzzer keeps the input, and is named in the report.
#define Expect(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    ScanResult result;
    try {
        result = ScanVolumeMft(
            [&](VolumeHandle& volume) {
                return OpenVolumeSource(volume, std::make_unique<MemoryVolume>(image));
            },
            L"F", [](std::int32_t, const std::wstring&) {}, 2);
    } catch (const std::exception&) {
        return 0;
    }
    // Every file decoded is listed in exactly one folder, however damaged its parent links are;
    // folders on a parent loop hang nowhere, so the root's totals may count fewer.
    std::size_t rows = 0;
    for (const auto& [record, files] : result.dirFiles) {
        Expect(result.dirs.count(record) == 1);
        rows += files.size();
    }
    Expect(rows == static_cast<std::size_t>(result.fileCount));
    const DirNode& root = result.dirs.at(result.rootRecord);
    Expect(root.totalFiles <= result.fileCount && root.subdirCount <= result.dirCount);
    Expect(result.rootTotalSize == root.totalSize && root.totalSize >= 0);
    return 0;
}
