#include "make-image/RecordWriter.h"

#include <algorithm>
#include <utility>

namespace kestrin::image {

std::size_t ResidentSize(std::size_t nameUnits, std::size_t valueLength) {
    return Align8(Align8(0x18 + 2 * nameUnits) + valueLength);
}

std::size_t NonResidentSize(std::size_t nameUnits, std::size_t runBytes, bool withTotal) {
    return Align8(Align8((withTotal ? 0x48 : 0x40) + 2 * nameUnits) + runBytes + 1 + 2 * nameUnits);
}

std::size_t FileNameSize(std::size_t units) {
    return ResidentSize(0, 0x42 + 2 * units);
}

std::size_t ListSize(std::size_t entries) {
    return ResidentSize(0, 0x20 * entries);
}

void Protect(Bytes& bytes, std::size_t usaOffset) {
    const std::uint16_t value =
        static_cast<std::uint16_t>(bytes[usaOffset] | bytes[usaOffset + 1] << 8);
    for (std::size_t i = 0; (i + 1) * 512 <= bytes.size(); ++i) {
        const std::size_t tail = i * 512 + 510;
        bytes[usaOffset + 2 + 2 * i] = bytes[tail];
        bytes[usaOffset + 3 + 2 * i] = bytes[tail + 1];
        Put(bytes, tail, value, 2);
    }
}

std::uint32_t U32(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

Bytes RawResident(std::uint32_t type, std::u16string_view name, const Bytes& value,
                  std::uint16_t id) {
    const std::size_t valueOffset = Align8(0x18 + 2 * name.size());
    Bytes a(Align8(valueOffset + value.size()));
    Put(a, 0x00, type, 4);
    Put(a, 0x04, a.size(), 4);
    Put(a, 0x09, name.size(), 1);
    Put(a, 0x0A, name.empty() ? 0 : 0x18, 2);
    Put(a, 0x0E, id, 2);
    Put(a, 0x10, value.size(), 4);
    Put(a, 0x14, valueOffset, 2);
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(a, 0x18 + 2 * i, name[i], 2);
    }
    std::copy(value.begin(), value.end(), a.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    return a;
}

Bytes RawNonResident(std::uint32_t type, std::u16string_view name, const std::vector<Piece>& pieces,
                     std::int64_t dataSize, std::uint16_t id) {
    const Bytes runs = RunList(pieces);
    const std::size_t runOffset = Align8(0x40 + 2 * name.size());
    Bytes a(Align8(runOffset + runs.size() + 1));
    const std::int64_t clusters = ClustersOf(pieces);
    Put(a, 0x00, type, 4);
    Put(a, 0x04, a.size(), 4);
    Put(a, 0x08, 1, 1);
    Put(a, 0x09, name.size(), 1);
    Put(a, 0x0A, name.empty() ? 0 : 0x40, 2);
    Put(a, 0x0E, id, 2);
    Put(a, 0x18, static_cast<std::uint64_t>(clusters - 1), 8);
    Put(a, 0x20, runOffset, 2);
    Put(a, 0x28, static_cast<std::uint64_t>(clusters * kCluster), 8);
    Put(a, 0x30, static_cast<std::uint64_t>(dataSize), 8);
    Put(a, 0x38, static_cast<std::uint64_t>(dataSize), 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(a, 0x40 + 2 * i, name[i], 2);
    }
    std::copy(runs.begin(), runs.end(), a.begin() + static_cast<std::ptrdiff_t>(runOffset));
    return a;
}

void AddData(Record& record, const std::vector<Piece>& pieces, std::int64_t dataSize,
             std::int64_t allocated, std::uint16_t flags, std::int64_t totalAllocated,
             std::int64_t lowestVcn, std::u16string name) {
    RecordBuilder::NonResident data;
    data.runList = RunList(pieces);
    data.dataSize = dataSize;
    data.allocated = allocated;
    data.initialized = dataSize;
    data.lowestVcn = lowestVcn;
    data.flags = flags;
    data.totalAllocated = totalAllocated;
    data.name = std::move(name);
    record.builder.NonResidentData(data);
    record.NoteNonResident(lowestVcn + ClustersOf(pieces) - 1, (flags & 0x0001) != 0);
}

}  // namespace kestrin::image
