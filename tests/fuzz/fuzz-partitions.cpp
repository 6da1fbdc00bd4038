// What a source holds, read from a small disk held in memory: the file-system probes over its
// first sectors, the MBR and its chain of logical partitions, the GPT with its CRCs and the
// backup at the disk's end. The disk is sixteen times the input, which repeats through it, so
// that tables far into the disk and the backup header at its end are the fuzzer's to shape too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "scan/volume/SourceDescription.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrin;
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> input(data, size);
    const auto diskSize = static_cast<std::int64_t>(size) * 16;
    const DiskReader read = [&](std::int64_t offset, std::span<std::uint8_t> out) {
        if (offset < 0 || offset > diskSize ||
            out.size() > static_cast<std::uint64_t>(diskSize - offset)) {
            return false;
        }
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = input[static_cast<std::size_t>(offset + static_cast<std::int64_t>(i)) % size];
        }
        return true;
    };
    const SourceDescription description = DescribeSource(read, diskSize);
    for (const PartitionEntry& partition : description.table.partitions) {
        if (partition.start < 0 || partition.length <= 0 ||
            partition.start > diskSize - partition.length) {
            __builtin_trap();  // a partition the disk cannot hold was let through
        }
    }
    return 0;
}
