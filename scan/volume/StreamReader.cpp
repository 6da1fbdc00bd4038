#include "scan/volume/StreamReader.h"

#include <algorithm>
#include <limits>

#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/RecordFixup.h"

namespace kestrin {

namespace {

// Attribute lists are at most a few hundred KiB; anything larger is damage.
constexpr std::int64_t kAttributeListLimit = 16 << 20;

// Adds the unnamed $DATA extents held by one record; the sizes come from the first extent. An
// extent whose first VCN is known already is a duplicate (damage) and adds nothing.
void AddUnnamedExtents(const ByteReader& record, UnnamedStream& stream) {
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (!attribute.IsUnnamedData() || !attribute.IsNonResident() ||
            attribute.length < kNonResidentHeaderSize || attribute.LowestVcn() < 0 ||
            RunsCoverVcn(stream.runs, attribute.LowestVcn())) {
            return true;
        }
        if (attribute.LowestVcn() == 0) {
            stream.dataSize = std::max<std::int64_t>(attribute.DataSize(), 0);
        }
        DecodeRunList(attribute, attribute.LowestVcn(), stream.runs);
        return true;
    });
}

// The records other than `record` that its attribute list names for the unnamed $DATA.
std::vector<std::int64_t> UnnamedDataRecords(const VolumeHandle& volume, const ByteReader& base,
                                             std::int64_t record, std::int64_t clusterSize) {
    const std::vector<std::uint8_t> list = ReadRecordAttributeList(volume, base, clusterSize);
    std::vector<std::int64_t> records;
    ForEachListEntry(ByteReader(list), [&](const AttributeListEntry& entry) {
        if (entry.type == kAttributeData && entry.nameLength == 0 && entry.recordNumber != record &&
            std::find(records.begin(), records.end(), entry.recordNumber) == records.end()) {
            records.push_back(entry.recordNumber);
        }
        return true;
    });
    return records;
}

}  // namespace

bool RunsCoverVcn(const std::vector<DataRun>& runs, std::int64_t vcn) {
    return std::any_of(runs.begin(), runs.end(),
                       [&](const DataRun& r) { return vcn >= r.vcn && vcn - r.vcn < r.clusters; });
}

bool MultiplyNonNegative(std::int64_t a, std::int64_t b, std::int64_t& product) {
    if (a < 0 || b < 0 || (b != 0 && a > std::numeric_limits<std::int64_t>::max() / b)) {
        return false;
    }
    product = a * b;
    return true;
}

bool ReadThroughRuns(const VolumeHandle& volume, const std::vector<DataRun>& runs,
                     std::int64_t clusterSize, std::int64_t streamOffset,
                     std::span<std::uint8_t> out) {
    if (clusterSize <= 0 || streamOffset < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t position = streamOffset + static_cast<std::int64_t>(done);
        const std::int64_t vcn = position / clusterSize;
        const auto run = std::find_if(runs.begin(), runs.end(), [&](const DataRun& r) {
            return r.lcn >= 0 && vcn >= r.vcn && vcn - r.vcn < r.clusters;
        });
        std::int64_t runStart = 0;
        std::int64_t runBytes = 0;
        std::int64_t runVolumeOffset = 0;
        if (run == runs.end() || !MultiplyNonNegative(run->vcn, clusterSize, runStart) ||
            !MultiplyNonNegative(run->clusters, clusterSize, runBytes) ||
            !MultiplyNonNegative(run->lcn, clusterSize, runVolumeOffset)) {
            return false;
        }
        const std::int64_t intoRun = position - runStart;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::int64_t>(
            runBytes - intoRun, static_cast<std::int64_t>(out.size() - done)));
        if (!ReadAt(volume, runVolumeOffset + intoRun, out.subspan(done, piece))) {
            return false;
        }
        done += piece;
    }
    return true;
}

std::vector<std::uint8_t> ReadAttributeListValue(const VolumeHandle& volume,
                                                 const Attribute& attribute,
                                                 std::int64_t clusterSize) {
    std::vector<std::uint8_t> value;
    if (!attribute.IsNonResident()) {
        const std::size_t start = attribute.ValueStart();
        if (attribute.record.Has(start, attribute.ValueLength())) {
            const auto bytes = attribute.record.Bytes().subspan(start, attribute.ValueLength());
            value.assign(bytes.begin(), bytes.end());
        }
        return value;
    }
    const std::int64_t length = attribute.DataSize();
    if (clusterSize <= 0 || attribute.length < kNonResidentHeaderSize || length <= 0 ||
        length > kAttributeListLimit) {
        return value;
    }
    std::vector<DataRun> runs;
    DecodeRunList(attribute, 0, runs);
    // Raw volumes read whole sectors only, so the list is read in whole clusters and cut after.
    value.resize(static_cast<std::size_t>((length + clusterSize - 1) / clusterSize * clusterSize));
    if (!ReadThroughRuns(volume, runs, clusterSize, 0, value)) {
        value.clear();
    }
    value.resize(std::min(value.size(), static_cast<std::size_t>(length)));
    return value;
}

std::vector<std::uint8_t> ReadRecordAttributeList(const VolumeHandle& volume,
                                                  const ByteReader& record,
                                                  std::int64_t clusterSize) {
    std::vector<std::uint8_t> list;
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (attribute.type != kAttributeList) {
            return true;
        }
        list = ReadAttributeListValue(volume, attribute, clusterSize);
        return false;
    });
    return list;
}

bool FindUnnamedStream(const VolumeHandle& volume, const MftRecords& records,
                       std::int64_t clusterSize, std::int64_t record, UnnamedStream& stream) {
    stream = UnnamedStream{};
    std::vector<std::uint8_t> copy;
    if (!records.CopyFixedUp(record, copy)) {
        return false;
    }
    const ByteReader base(copy);
    if (!HasRecordMagic(base) || (RecordFlags(base) & kRecordInUse) == 0 ||
        base.U64(kRecordBaseReferenceOffset) != 0) {
        return false;
    }
    AddUnnamedExtents(base, stream);
    for (const std::int64_t other : UnnamedDataRecords(volume, base, record, clusterSize)) {
        std::vector<std::uint8_t> extension;
        if (!records.CopyFixedUp(other, extension)) {
            continue;
        }
        const ByteReader reader(extension);
        if (HasRecordMagic(reader) && (RecordFlags(reader) & kRecordInUse) != 0 &&
            RecordBaseReference(reader) == record) {
            AddUnnamedExtents(reader, stream);
        }
    }
    return !stream.runs.empty();
}

}  // namespace kestrin
