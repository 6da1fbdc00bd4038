#include "core/RecordBuilder.h"

namespace kestrin::test {

namespace {

constexpr std::size_t kUpdateSequenceOffset = 0x30;
constexpr std::uint16_t kSequenceValue = 0xA55A;

std::size_t Align8(std::size_t value) {
    return (value + 7) & ~std::size_t{7};
}

void PutName(std::vector<std::uint8_t>& bytes, std::size_t offset, const std::u16string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(bytes, offset + 2 * i, name[i], 2);
    }
}

// Common header of every attribute; the caller fills the rest.
std::vector<std::uint8_t> Header(std::uint32_t type, std::size_t length, bool nonResident,
                                 const std::u16string& name, std::size_t nameOffset) {
    std::vector<std::uint8_t> a(Align8(length + 2 * name.size()));
    Put(a, 0, type, 4);
    Put(a, 4, a.size(), 4);
    Put(a, 8, nonResident ? 1 : 0, 1);
    Put(a, 9, name.size(), 1);
    Put(a, 10, name.empty() ? 0 : nameOffset, 2);
    PutName(a, nameOffset, name);
    return a;
}

std::vector<std::uint8_t> Resident(std::uint32_t type, const std::vector<std::uint8_t>& value,
                                   const std::u16string& name = u"") {
    const std::size_t valueOffset = Align8(0x18 + 2 * name.size());
    std::vector<std::uint8_t> a = Header(type, valueOffset + value.size(), false, name, 0x18);
    a.resize(Align8(valueOffset + value.size()));
    Put(a, 4, a.size(), 4);
    Put(a, 0x10, value.size(), 4);
    Put(a, 0x14, valueOffset, 2);
    std::copy(value.begin(), value.end(), a.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    return a;
}

}  // namespace

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value,
         std::size_t width) {
    if (bytes.size() < offset + width) {
        bytes.resize(offset + width);
    }
    for (std::size_t i = 0; i < width; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

RecordBuilder::RecordBuilder(std::size_t recordSize) : recordSize_(recordSize) {}

RecordBuilder& RecordBuilder::Flags(std::uint16_t flags) {
    flags_ = flags;
    return *this;
}

RecordBuilder& RecordBuilder::BaseRecord(std::int64_t base) {
    base_ = base;
    return *this;
}

RecordBuilder& RecordBuilder::StandardInformation(std::int64_t modified, std::uint32_t attributes,
                                                  std::int64_t accessed) {
    std::vector<std::uint8_t> value(0x48);
    Put(value, 0x00, 0x01D0000000000000, 8);  // created
    Put(value, 0x08, static_cast<std::uint64_t>(modified), 8);
    Put(value, 0x10, 0x01D0000000000001, 8);  // record changed
    Put(value, 0x18, static_cast<std::uint64_t>(accessed), 8);
    Put(value, 0x20, attributes, 4);
    Append(Resident(0x10, value));
    return *this;
}

RecordBuilder& RecordBuilder::FileName(std::int64_t parent, const std::u16string& name,
                                       std::uint8_t nameSpace, bool isDirectory,
                                       std::int64_t realSize, std::int64_t allocated) {
    std::vector<std::uint8_t> value(0x42 + 2 * name.size());
    Put(value, 0x00, static_cast<std::uint64_t>(parent) | (std::uint64_t{1} << 48), 8);
    Put(value, 0x28, static_cast<std::uint64_t>(allocated), 8);
    Put(value, 0x30, static_cast<std::uint64_t>(realSize), 8);
    Put(value, 0x38, isDirectory ? 0x10000000u | 0x10u : 0x20u, 4);
    Put(value, 0x40, name.size(), 1);
    Put(value, 0x41, nameSpace, 1);
    PutName(value, 0x42, name);
    Append(Resident(0x30, value));
    return *this;
}

RecordBuilder& RecordBuilder::ResidentData(std::uint32_t length, const std::u16string& streamName) {
    Append(Resident(0x80, std::vector<std::uint8_t>(length, 0x61), streamName));
    return *this;
}

RecordBuilder& RecordBuilder::NonResidentData(const NonResident& data) {
    return NonResidentAttribute(0x80, data);
}

RecordBuilder& RecordBuilder::NonResidentAttribute(std::uint32_t type, const NonResident& data) {
    const std::size_t headerSize = data.totalAllocated >= 0 ? 0x48 : 0x40;
    const std::size_t runOffset = Align8(headerSize + 2 * data.name.size());
    std::vector<std::uint8_t> a =
        Header(type, runOffset + data.runList.size() + 1, true, data.name, headerSize);
    Put(a, 0x0C, data.flags, 2);
    Put(a, 0x10, static_cast<std::uint64_t>(data.lowestVcn), 8);
    Put(a, 0x18, static_cast<std::uint64_t>(data.lowestVcn), 8);
    Put(a, 0x20, runOffset, 2);
    Put(a, 0x28, static_cast<std::uint64_t>(data.allocated), 8);
    Put(a, 0x30, static_cast<std::uint64_t>(data.dataSize), 8);
    Put(a, 0x38, static_cast<std::uint64_t>(data.initialized), 8);
    if (data.totalAllocated >= 0) {
        Put(a, 0x40, static_cast<std::uint64_t>(data.totalAllocated), 8);
    }
    std::copy(data.runList.begin(), data.runList.end(),
              a.begin() + static_cast<std::ptrdiff_t>(runOffset));
    Append(std::move(a));
    return *this;
}

std::vector<std::uint8_t> RecordBuilder::ListValue(const std::vector<ListEntry>& entries) {
    std::vector<std::uint8_t> value;
    for (const ListEntry& entry : entries) {
        const std::size_t at = value.size();
        const std::size_t length = Align8(0x1A + 2 * entry.nameLength);
        Put(value, at + 0x00, entry.type, 4);
        Put(value, at + 0x04, length, 2);
        Put(value, at + 0x06, entry.nameLength, 1);
        Put(value, at + 0x07, 0x1A, 1);
        Put(value, at + 0x08, static_cast<std::uint64_t>(entry.startingVcn), 8);
        Put(value, at + 0x10,
            static_cast<std::uint64_t>(entry.recordNumber) | (std::uint64_t{1} << 48), 8);
        value.resize(at + length);
    }
    return value;
}

RecordBuilder& RecordBuilder::AttributeList(const std::vector<ListEntry>& entries) {
    Append(Resident(0x20, ListValue(entries)));
    return *this;
}

RecordBuilder& RecordBuilder::NonResidentAttributeList(std::int64_t valueLength,
                                                       const std::vector<std::uint8_t>& runList) {
    std::vector<std::uint8_t> a = Header(0x20, 0x40 + runList.size() + 1, true, u"", 0x40);
    Put(a, 0x20, 0x40, 2);
    Put(a, 0x28, static_cast<std::uint64_t>(valueLength + 4095) / 4096 * 4096, 8);
    Put(a, 0x30, static_cast<std::uint64_t>(valueLength), 8);
    Put(a, 0x38, static_cast<std::uint64_t>(valueLength), 8);
    std::copy(runList.begin(), runList.end(), a.begin() + 0x40);
    Append(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::RawAttribute(const std::vector<std::uint8_t>& attribute) {
    attributes_.insert(attributes_.end(), attribute.begin(), attribute.end());
    return *this;
}

void RecordBuilder::Append(std::vector<std::uint8_t> attribute) {
    Put(attribute, 0x0E, nextId_++, 2);
    attributes_.insert(attributes_.end(), attribute.begin(), attribute.end());
}

std::size_t RecordBuilder::FirstAttributeOffset() const {
    const std::size_t count = recordSize_ / 512 + 1;
    return Align8(kUpdateSequenceOffset + 2 * count);
}

std::vector<std::uint8_t> RecordBuilder::Build(bool protect) const {
    std::vector<std::uint8_t> r(recordSize_);
    const std::size_t count = recordSize_ / 512 + 1;
    const std::size_t first = FirstAttributeOffset();
    r[0] = 'F';
    r[1] = 'I';
    r[2] = 'L';
    r[3] = 'E';
    Put(r, 0x04, kUpdateSequenceOffset, 2);
    Put(r, 0x06, count, 2);
    Put(r, 0x10, 1, 2);  // sequence number
    Put(r, 0x12, 1, 2);  // link count
    Put(r, 0x14, first, 2);
    Put(r, 0x16, flags_, 2);
    Put(r, 0x18, first + attributes_.size() + 8, 4);
    Put(r, 0x1C, recordSize_, 4);
    Put(r, 0x20, static_cast<std::uint64_t>(base_), 8);
    Put(r, 0x28, nextId_, 2);
    std::copy(attributes_.begin(), attributes_.end(),
              r.begin() + static_cast<std::ptrdiff_t>(first));
    Put(r, first + attributes_.size(), 0xFFFFFFFF, 4);
    r.resize(recordSize_);
    Put(r, kUpdateSequenceOffset, kSequenceValue, 2);
    if (protect) {
        for (std::size_t i = 0; i + 1 < count; ++i) {
            const std::size_t tail = i * 512 + 510;
            r[kUpdateSequenceOffset + 2 + 2 * i] = r[tail];
            r[kUpdateSequenceOffset + 3 + 2 * i] = r[tail + 1];
            Put(r, tail, kSequenceValue, 2);
        }
    }
    return r;
}

std::vector<std::uint8_t> EncodeRuns(const std::vector<Run>& runs) {
    std::vector<std::uint8_t> out;
    auto width = [](std::uint64_t v, bool isSigned) {
        std::size_t n = 1;
        if (isSigned) {
            const auto s = static_cast<std::int64_t>(v);
            while (n < 8 && !(s >= -(std::int64_t{1} << (8 * n - 1)) &&
                              s < (std::int64_t{1} << (8 * n - 1)))) {
                ++n;
            }
        } else {
            while (n < 8 && (v >> (8 * n)) != 0) {
                ++n;
            }
        }
        return n;
    };
    for (const Run& run : runs) {
        const std::size_t l = width(static_cast<std::uint64_t>(run.clusters), false);
        const std::size_t f =
            run.sparse ? 0 : width(static_cast<std::uint64_t>(run.lcnOffset), true);
        out.push_back(static_cast<std::uint8_t>(l | (f << 4)));
        for (std::size_t i = 0; i < l; ++i) {
            out.push_back(
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(run.clusters) >> (8 * i)));
        }
        for (std::size_t i = 0; i < f; ++i) {
            out.push_back(
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(run.lcnOffset) >> (8 * i)));
        }
    }
    return out;
}

std::vector<std::uint8_t> MakeImage(const std::vector<std::vector<std::uint8_t>>& records,
                                    std::size_t recordSize) {
    std::vector<std::uint8_t> image;
    for (const auto& record : records) {
        std::vector<std::uint8_t> slot = record;
        slot.resize(recordSize);
        image.insert(image.end(), slot.begin(), slot.end());
    }
    return image;
}

}  // namespace kestrin::test
