// One MFT record, damaged at will, through every record-level reader of the engine. The input is
// also taken as a small MFT image of 1 KiB and 4 KiB records, so that attribute lists and
// extension records can name the other slots, and as one record of its own length, which gives
// the fixup strides that end past or inside the record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/ExtensionIndex.h"
#include "scan/ntfs/RecordDataSizes.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/ntfs/RecordFixup.h"
#include "scan/pipeline/ExtentResolver.h"

// Promises the headers make about what comes out of damaged input. A broken one aborts, so that
// libFuzzer keeps the input, and is named in the report.
#define Expect(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

namespace {

using namespace kestrin;

void WalkAttributes(const ByteReader& record, std::int64_t number) {
    std::vector<DataRun> runs;
    ForEachAttribute(record, [&](const Attribute& attribute) {
        Expect(attribute.End() <= record.Size());
        if (attribute.IsNonResident()) {
            runs.clear();
            DecodeRunList(attribute, attribute.LowestVcn(), runs);
            for (const DataRun& run : runs) {
                Expect(run.clusters > 0 && run.vcn >= 0);
            }
            (void)attribute.OccupiedSize();
        } else if (attribute.type == kAttributeList) {
            ForEachListEntry(record.Sub(attribute.ValueStart(), attribute.ValueLength()),
                             [](const AttributeListEntry& entry) {
                                 Expect(entry.length >= kListEntryMinimumSize);
                                 return true;
                             });
        }
        return true;
    });
    std::vector<std::int64_t> refs;
    NameExtensionRefs(record, number, refs);
    DataExtensionRefs(record, number, refs);
    for (const std::int64_t ref : refs) {
        Expect(ref != 0 && ref != number);
    }
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    RecordDataSizes(record, size, allocated);
    (void)RecordBaseReference(record);
}

void ExpectSaneEntry(const MftEntry& entry, std::int64_t number) {
    Expect(entry.recordNumber == number && !entry.name.empty());
    Expect(entry.size >= 0 && entry.allocated >= 0);
    if (entry.isDirectory) {
        Expect(entry.size == 0 && entry.allocated == 0);
    }
}

void DecodeImage(std::span<const std::uint8_t> image, std::int32_t recordSize) {
    const ExtensionIndex extensions = ExtensionIndex::Build(image, recordSize);
    const auto slots =
        static_cast<std::int64_t>(image.size() / static_cast<std::size_t>(recordSize));
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t> copy;
    std::vector<std::uint8_t> extension;
    std::vector<DataRun> runs;
    ScanSlice slice;
    for (std::int64_t n = 0; n < slots; ++n) {
        MftEntry entry;
        if (DecodeRecordSlot(image, recordSize, n, scratch, entry, &extensions)) {
            ExpectSaneEntry(entry, n);
        }
        for (const std::int64_t e : extensions.ExtensionsOf(n)) {
            Expect(e != n && e >= 0 && e < slots);
        }
        Expect(CopyFixedUpRecord(image, recordSize, n, copy));
        const ByteReader record(copy);
        WalkAttributes(record, n);
        MftEntry base;
        if (DecodeBaseRecord(record, n, base)) {
            ExpectSaneEntry(base, n);
        }
        DecodeDataRuns(copy, recordSize, runs);
        NoteRecordExtents(record, n, image, recordSize, extension, slice);
    }
    for (const auto& [record, sizes] : slice.extentSizes) {
        Expect(sizes.size >= 0 && sizes.size <= kExtentSizeLimit);
        Expect(sizes.allocated >= 0 && sizes.allocated <= kExtentSizeLimit);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> input(data, size);
    for (const std::size_t recordSize : {std::size_t{1024}, std::size_t{4096}}) {
        // A short input is one record with a zero tail, as a torn read would leave it.
        std::vector<std::uint8_t> image(input.begin(), input.end());
        if (image.size() < recordSize) {
            image.resize(recordSize);
        }
        DecodeImage(image, static_cast<std::int32_t>(recordSize));
    }
    DecodeImage(input, static_cast<std::int32_t>(size));
    return 0;
}
