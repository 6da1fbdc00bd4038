// Times a whole scan of a synthetic volume held in memory: a realistic MFT of N records (folders
// of files with resident and non-resident data, hard links, a few extension records) behind an
// in-memory volume source, so that only the engine is measured, not the disk.
//
//   kestrin-bench [RECORDS] [THREADS]     defaults: 1000000 records, the machine's threads
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/RecordBuilder.h"
#include "scan/common/Utf16Text.h"
#include "scan/pipeline/ScanPipeline.h"

namespace kestrin {
namespace {

using test::Put;
using test::RecordBuilder;

constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kRecordSize = 1024;
constexpr std::int64_t kMftLcn = 4;
constexpr std::int64_t kFilesPerFolder = 40;

class MemoryVolume : public VolumeSource {
public:
    explicit MemoryVolume(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        if (offset < 0 || static_cast<std::uint64_t>(offset) + buffer.size() > bytes_.size()) {
            return false;
        }
        std::memcpy(buffer.data(), bytes_.data() + offset, buffer.size());
        return true;
    }
    bool QueryVolumeData(VolumeDataReply&) override { return false; }

private:
    std::vector<std::uint8_t> bytes_;
};

std::u16string Utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::vector<std::uint8_t> MakeRecord(std::int64_t n, std::int64_t records) {
    static const char* const kExtensions[] = {".dll", ".txt", ".jpg", ".log", ".exe", "", ".DLL"};
    if (n == 0) {
        RecordBuilder::NonResident mft;
        mft.runList = test::EncodeRuns({{records * kRecordSize / kCluster, kMftLcn}});
        mft.dataSize = mft.allocated = mft.initialized = records * kRecordSize;
        return RecordBuilder()
            .StandardInformation(1, 6)
            .FileName(5, u"$MFT")
            .NonResidentData(mft)
            .Build();
    }
    if (n == 5) {
        return RecordBuilder()
            .Flags(3)
            .StandardInformation(1, 0x16)
            .FileName(5, u".", 3, true)
            .Build();
    }
    if (n < 16) {
        return RecordBuilder()
            .StandardInformation(1, 6)
            .FileName(5, Utf16("$Meta" + std::to_string(n)))
            .ResidentData(64)
            .Build();
    }
    const std::int64_t folder = 16 + (n - 16) / (kFilesPerFolder + 1) * (kFilesPerFolder + 1);
    if (n == folder) {
        const std::int64_t parent = folder < 16 + 41 * 50 ? 5 : 16 + ((folder - 16) / 41 % 50) * 41;
        return RecordBuilder()
            .Flags(3)
            .StandardInformation(n, 0x10)
            .FileName(parent, Utf16("folder " + std::to_string(n)), 1, true)
            .Build();
    }
    const std::string name = "file_" + std::to_string(n) + kExtensions[n % 7];
    RecordBuilder builder;
    builder.StandardInformation(0x01D9000000000000 + n, 0x20).FileName(folder, Utf16(name), 1);
    if (n % 3 == 0) {
        builder.FileName(folder, Utf16("FILE_~" + std::to_string(n % 1000)), 2);
    }
    if (n % 4 == 0) {
        builder.ResidentData(static_cast<std::uint32_t>(n % 600));
    } else {
        RecordBuilder::NonResident data;
        data.dataSize = (n * 7919) % (64 << 20);
        data.allocated = (data.dataSize + kCluster - 1) / kCluster * kCluster;
        data.initialized = data.dataSize;
        data.runList =
            test::EncodeRuns({{std::max<std::int64_t>(1, data.allocated / kCluster), 1000 + n}});
        builder.NonResidentData(data);
    }
    return builder.Build();
}

std::unique_ptr<MemoryVolume> MakeVolume(std::int64_t records) {
    const std::int64_t mftBytes = records * kRecordSize;
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(kMftLcn * kCluster + mftBytes + kCluster));
    std::memcpy(bytes.data() + 3, "NTFS    ", 8);
    Put(bytes, 0x0B, 512, 2);
    Put(bytes, 0x0D, kCluster / 512, 1);
    Put(bytes, 0x28, bytes.size() / 512 - 1, 8);
    Put(bytes, 0x30, kMftLcn, 8);
    Put(bytes, 0x40, 0xF6, 1);
    for (std::int64_t n = 0; n < records; ++n) {
        const std::vector<std::uint8_t> record = MakeRecord(n, records);
        std::memcpy(bytes.data() + kMftLcn * kCluster + n * kRecordSize, record.data(),
                    record.size());
    }
    return std::make_unique<MemoryVolume>(std::move(bytes));
}

int Main(int argc, char** argv) {
    const std::int64_t records =
        argc > 1 ? std::max<std::int64_t>(std::atoll(argv[1]) / 4 * 4, 64) : 1000000;
    const unsigned threads =
        argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : std::thread::hardware_concurrency();
    std::fprintf(stderr, "building a volume of %lld records...\n", static_cast<long long>(records));
    std::unique_ptr<MemoryVolume> volume = MakeVolume(records);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    std::int32_t lastPercent = 0;
    const ProgressCallback progress = [&](std::int32_t percent, const std::wstring& text) {
        const Clock::time_point now = Clock::now();
        std::printf("%8.3f s  +%7.3f s  %3d%%  %s\n",
                    std::chrono::duration<double>(now - start).count(),
                    std::chrono::duration<double>(now - last).count(), lastPercent,
                    Utf8FromWide(text).c_str());
        last = now;
        lastPercent = percent;
    };
    const ScanResult result = ScanVolumeMft(
        [&](VolumeHandle& handle) { return OpenVolumeSource(handle, std::move(volume)); }, L"C",
        progress, threads);
    std::printf(
        "%8.3f s  total: %d files, %d folders, %zu extensions, %u threads, %.0f records/s\n",
        result.seconds, result.fileCount, result.dirCount, result.extStats.size(), threads,
        static_cast<double>(records) / result.seconds);
    return 0;
}

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
    return kestrin::Main(argc, argv);
}
