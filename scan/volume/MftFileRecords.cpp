#include "scan/volume/MftFileRecords.h"

#include <algorithm>
#include <cstring>

#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/RecordFixup.h"
#include "scan/volume/StreamReader.h"

namespace kestrin {

namespace {

// The update sequence protects every 512 bytes of a record, whatever the sector size.
constexpr std::int64_t kFixupStride = 512;
constexpr std::int64_t kMftRecord = 0;

bool IsPowerOfTwo(std::int64_t value) {
    return value > 0 && (value & (value - 1)) == 0;
}

// The records a base record's resident attribute list names for later extents of its unnamed
// $DATA. A non-resident list lies in clusters the file does not hold.
std::vector<std::int64_t> DataExtentRecords(const ByteReader& base, std::int64_t baseNumber) {
    std::vector<std::int64_t> records;
    ForEachAttribute(base, [&](const Attribute& attribute) {
        if (attribute.type != kAttributeList) {
            return true;
        }
        if (!attribute.IsNonResident()) {
            const ByteReader value = base.Sub(attribute.ValueStart(), attribute.ValueLength());
            ForEachListEntry(value, [&](const AttributeListEntry& entry) {
                if (entry.type == kAttributeData && entry.nameLength == 0 &&
                    entry.recordNumber != baseNumber && entry.startingVcn > 0 &&
                    std::find(records.begin(), records.end(), entry.recordNumber) ==
                        records.end()) {
                    records.push_back(entry.recordNumber);
                }
                return true;
            });
        }
        return false;
    });
    return records;
}

// One attribute list entry: an unnamed $DATA extent from `startingVcn` held by `reference`.
void AppendListEntry(std::vector<std::uint8_t>& list, std::int64_t startingVcn,
                     std::uint64_t reference) {
    constexpr std::size_t kEntrySize = 32;
    const std::size_t at = list.size();
    list.resize(at + kEntrySize, 0);
    const auto put = [&](std::size_t offset, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            list[at + offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    put(0x00, kAttributeData, 4);
    put(0x04, kEntrySize, 2);
    put(0x07, 0x1A, 1);
    put(0x08, static_cast<std::uint64_t>(startingVcn), 8);
    put(0x10, reference, 8);
}

}  // namespace

std::vector<std::uint8_t> ReadFileRecord(VolumeSource& file, std::int64_t number,
                                         std::int32_t recordSize) {
    std::vector<std::uint8_t> record(static_cast<std::size_t>(recordSize));
    std::int64_t offset = 0;
    if (!MultiplyNonNegative(number, recordSize, offset) || !file.ReadAt(offset, record)) {
        return {};
    }
    ApplyFixup(record);
    return record;
}

std::vector<DataRun> FileRecordDataRuns(VolumeSource& file, std::int64_t number,
                                        std::int32_t recordSize, std::int64_t& dataSize) {
    dataSize = 0;
    std::vector<DataRun> runs;
    const std::vector<std::uint8_t> base = ReadFileRecord(file, number, recordSize);
    if (base.empty() || !DecodeDataRuns(base, recordSize, runs)) {
        return {};
    }
    ForEachAttribute(ByteReader(base), [&](const Attribute& attribute) {
        if (attribute.IsUnnamedData() && attribute.IsNonResident() &&
            attribute.length >= kNonResidentHeaderSize && attribute.LowestVcn() == 0) {
            dataSize = std::max<std::int64_t>(attribute.DataSize(), 0);
            return false;
        }
        return true;
    });
    for (const std::int64_t extension : DataExtentRecords(ByteReader(base), number)) {
        const std::vector<std::uint8_t> bytes = ReadFileRecord(file, extension, recordSize);
        const ByteReader record(bytes);
        if (!HasRecordMagic(record) || RecordBaseReference(record) != number) {
            continue;
        }
        ForEachAttribute(record, [&](const Attribute& attribute) {
            if (attribute.IsUnnamedData() && attribute.IsNonResident() &&
                attribute.LowestVcn() > 0 && !RunsCoverVcn(runs, attribute.LowestVcn())) {
                DecodeRunList(attribute, attribute.LowestVcn(), runs);
            }
            return true;
        });
    }
    return runs;
}

std::vector<DataRun> NonResidentListRuns(const ByteReader& record0) {
    std::vector<DataRun> runs;
    ForEachAttribute(record0, [&](const Attribute& attribute) {
        if (attribute.type != kAttributeList) {
            return true;
        }
        if (attribute.IsNonResident() && attribute.length >= kNonResidentHeaderSize) {
            DecodeRunList(attribute, 0, runs);
        }
        return false;
    });
    return runs;
}

std::vector<std::uint8_t> FindMftExtensions(VolumeSource& file, std::int32_t recordSize,
                                            std::vector<DataRun>& runs) {
    std::vector<std::uint8_t> list;
    const std::int64_t fileSize = file.Size();
    const std::int64_t piece =
        std::max<std::int64_t>(recordSize, std::int64_t{1} << 20) / recordSize * recordSize;
    std::vector<std::uint8_t> bytes;
    for (std::int64_t offset = 0; offset + recordSize <= fileSize; offset += piece) {
        bytes.resize(
            static_cast<std::size_t>(std::min(piece, fileSize - offset) / recordSize * recordSize));
        if (!file.ReadAt(offset, bytes)) {
            break;
        }
        for (std::size_t at = 0; at < bytes.size(); at += static_cast<std::size_t>(recordSize)) {
            std::vector<std::uint8_t> record(
                bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + recordSize));
            const ByteReader header(record);
            if (!HasRecordMagic(header) || header.U64(kRecordBaseReferenceOffset) == 0 ||
                RecordBaseReference(header) != kMftRecord) {
                continue;
            }
            ApplyFixup(record);
            const std::int64_t number = (offset + static_cast<std::int64_t>(at)) / recordSize;
            const std::uint64_t sequence = ByteReader(record).U16(0x10);
            ForEachAttribute(ByteReader(record), [&](const Attribute& attribute) {
                if (attribute.IsUnnamedData() && attribute.IsNonResident() &&
                    attribute.LowestVcn() > 0 && !RunsCoverVcn(runs, attribute.LowestVcn())) {
                    AppendListEntry(list, attribute.LowestVcn(),
                                    static_cast<std::uint64_t>(number) | (sequence << 48));
                    DecodeRunList(attribute, attribute.LowestVcn(), runs);
                }
                return true;
            });
        }
    }
    return list;
}

std::int32_t BareMftRecordSize(std::span<const std::uint8_t> bytes) {
    const ByteReader record(bytes);
    if (!record.Has(0, 0x30) || std::memcmp(bytes.data(), "FILE", 4) != 0) {
        return 0;
    }
    const std::int64_t updateOffset = record.U16(0x04);
    const std::int64_t updateCount = record.U16(0x06);
    const std::int64_t firstAttribute = record.U16(kRecordFirstAttributeOffset);
    const std::int64_t used = record.U32(0x18);
    const std::int64_t allocated = record.U32(0x1C);
    const bool sound = IsPowerOfTwo(allocated) && allocated >= 512 && allocated <= 65536 &&
                       updateCount == allocated / kFixupStride + 1 && updateOffset >= 0x28 &&
                       updateOffset + 2 * updateCount <= firstAttribute && firstAttribute < used &&
                       used <= allocated && (RecordFlags(record) & kRecordInUse) != 0 &&
                       RecordBaseReference(record) == 0;
    return sound ? static_cast<std::int32_t>(allocated) : 0;
}

std::int64_t ImpliedMftClusterSize(VolumeSource& file) {
    std::vector<std::uint8_t> header(static_cast<std::size_t>(kFixupStride * 2));
    const std::int32_t recordSize = file.ReadAt(0, header) ? BareMftRecordSize(header) : 0;
    const std::vector<std::uint8_t> record0 =
        recordSize > 0 ? ReadFileRecord(file, kMftRecord, recordSize) : std::vector<std::uint8_t>();
    if (record0.empty()) {
        return 0;
    }
    std::int64_t allocated = 0;
    ForEachAttribute(ByteReader(record0), [&](const Attribute& attribute) {
        if (attribute.IsUnnamedData() && attribute.IsNonResident() &&
            attribute.length >= kNonResidentHeaderSize && attribute.LowestVcn() == 0) {
            allocated = attribute.AllocatedSize();
            return false;
        }
        return true;
    });
    std::int64_t ignored = 0;
    std::vector<DataRun> runs = FileRecordDataRuns(file, kMftRecord, recordSize, ignored);
    if (!runs.empty() && !NonResidentListRuns(ByteReader(record0)).empty()) {
        FindMftExtensions(file, recordSize, runs);
    }
    std::int64_t clusters = 0;
    for (const DataRun& run : runs) {
        clusters = std::max(clusters, run.vcn + run.clusters);
    }
    if (allocated <= 0 || clusters <= 0 || allocated % clusters != 0 ||
        !IsUsableClusterSize(allocated / clusters)) {
        return 0;
    }
    return allocated / clusters;
}

bool IsUsableClusterSize(std::int64_t clusterSize) {
    return IsPowerOfTwo(clusterSize) && clusterSize >= 512 && clusterSize <= (2 << 20);
}

}  // namespace kestrin
