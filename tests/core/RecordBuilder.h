#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin::test {

// Writes little-endian values into a byte vector, growing it as needed.
void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value,
         std::size_t width);

// Builds NTFS file records byte by byte, the way NTFS lays them out, so tests can make records
// that are sound and then break them the way disks break.
class RecordBuilder {
public:
    explicit RecordBuilder(std::size_t recordSize = 1024);

    RecordBuilder& Flags(std::uint16_t flags);
    RecordBuilder& BaseRecord(std::int64_t base);
    RecordBuilder& StandardInformation(std::int64_t modified, std::uint32_t attributes,
                                       std::int64_t accessed = 0);
    RecordBuilder& FileName(std::int64_t parent, const std::u16string& name,
                            std::uint8_t nameSpace = 1, bool isDirectory = false,
                            std::int64_t realSize = 0, std::int64_t allocated = 0);
    RecordBuilder& ResidentData(std::uint32_t length, const std::u16string& streamName = u"");
    struct NonResident {
        std::int64_t dataSize = 0;
        std::int64_t allocated = 0;
        std::int64_t initialized = 0;
        std::int64_t lowestVcn = 0;
        std::vector<std::uint8_t> runList;
        std::uint16_t flags = 0;           // 0x0001 compressed, 0x8000 sparse
        std::int64_t totalAllocated = -1;  // written, with a 0x48 header, when >= 0
        std::u16string name;
    };
    RecordBuilder& NonResidentData(const NonResident& data);
    // The same header for any attribute type ($INDEX_ALLOCATION, $BITMAP, ...).
    RecordBuilder& NonResidentAttribute(std::uint32_t type, const NonResident& data);
    struct ListEntry {
        std::uint32_t type = 0;
        std::int64_t startingVcn = 0;
        std::int64_t recordNumber = 0;
        std::uint8_t nameLength = 0;
    };
    RecordBuilder& AttributeList(const std::vector<ListEntry>& entries);
    // A non-resident attribute list whose value lies in clusters described by `runList`.
    RecordBuilder& NonResidentAttributeList(std::int64_t valueLength,
                                            const std::vector<std::uint8_t>& runList);
    // Any attribute, given whole (type and length fields included).
    RecordBuilder& RawAttribute(const std::vector<std::uint8_t>& attribute);

    // The record with its end marker and, when `protect`, the update sequence applied to every
    // 512-byte stride as NTFS writes it to disk.
    std::vector<std::uint8_t> Build(bool protect = true) const;

    static std::vector<std::uint8_t> ListValue(const std::vector<ListEntry>& entries);

private:
    std::size_t FirstAttributeOffset() const;
    void Append(std::vector<std::uint8_t> attribute);

    std::size_t recordSize_;
    std::uint16_t flags_ = 0x0001;
    std::int64_t base_ = 0;
    std::vector<std::uint8_t> attributes_;
    std::uint16_t nextId_ = 0;
};

// A run list of (clusters, lcn offset) pairs with minimal field widths; offset 0 with sparse set
// writes a sparse run.
struct Run {
    std::int64_t clusters;
    std::int64_t lcnOffset;
    bool sparse = false;
};
std::vector<std::uint8_t> EncodeRuns(const std::vector<Run>& runs);

// Concatenates records into an MFT image.
std::vector<std::uint8_t> MakeImage(const std::vector<std::vector<std::uint8_t>>& records,
                                    std::size_t recordSize = 1024);

}  // namespace kestrin::test
