#include "scan/ntfs/RecordDecoder.h"

#include <algorithm>
#include <string>

#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/RecordFixup.h"

namespace kestrin {

namespace {

constexpr std::uint32_t kFileNameIsDirectory = 0x10;
constexpr std::size_t kFileNameFixedSize = 0x42;
constexpr std::size_t kStandardInformationNeeded = 0x24;

// Win32 names win over combined Win32/DOS names, then POSIX names, then DOS short names.
std::int32_t NamespacePriority(std::uint8_t nameSpace) {
    switch (nameSpace) {
        case 1:
            return 40;
        case 3:
            return 30;
        case 0:
            return 20;
        case 2:
            return 10;
        default:
            return 0;
    }
}

void ParseStandardInformation(const Attribute& attribute, RecordFacts& facts) {
    const std::size_t value = attribute.ValueStart();
    if (attribute.IsNonResident() || !attribute.record.Has(value, kStandardInformationNeeded)) {
        return;
    }
    // 0x08 holds the last modification; 0x18 is the last access, which says nothing useful.
    facts.time = attribute.record.I64(value + 0x08);
    facts.attributes = attribute.record.U32(value + 0x20);
}

void ParseFileName(const Attribute& attribute, std::int64_t recordNumber, bool headerIsDirectory,
                   RecordFacts& facts) {
    const ByteReader& record = attribute.record;
    const std::size_t value = attribute.ValueStart();
    if (attribute.IsNonResident() || attribute.length < kFileNameFixedSize ||
        !record.Has(value, kFileNameFixedSize)) {
        return;
    }
    const std::size_t nameUnits = record.U8(value + 0x40);
    if (nameUnits == 0 || !record.Has(value + kFileNameFixedSize, 2 * nameUnits)) {
        return;
    }
    // "." and ".." are told apart from the raw units, and a name is decoded only when it wins:
    // most files also carry a DOS short name, which would otherwise cost an allocation each.
    const std::size_t nameStart = value + kFileNameFixedSize;
    const bool dotName = record.U16(nameStart) == u'.' &&
                         (nameUnits == 1 || (nameUnits == 2 && record.U16(nameStart + 2) == u'.'));
    const std::int64_t parent = record.U48(value);
    if (dotName && nameUnits == 1 && headerIsDirectory) {
        facts.selfParent = parent;
    }
    if (dotName && recordNumber != kRootRecord) {
        return;
    }
    const std::int32_t priority = NamespacePriority(record.U8(value + 0x41));
    if (priority <= facts.namePriority) {
        return;
    }
    facts.namePriority = priority;
    facts.parentRecord = parent;
    facts.isDirectory = (record.U32(value + 0x38) & kFileNameIsDirectory) != 0;
    facts.fnAllocated = record.I64(value + 0x28);
    facts.fnRealSize = record.I64(value + 0x30);
    for (std::size_t i = 0; i < nameUnits; ++i) {
        facts.nameUnits[i] = static_cast<char16_t>(record.U16(nameStart + 2 * i));
    }
    facts.nameLength = static_cast<std::uint8_t>(nameUnits);
}

void ParseData(const Attribute& attribute, RecordFacts& facts) {
    if (!attribute.IsNonResident()) {
        facts.dataSize = attribute.ValueLength();
        facts.dataAllocated = facts.dataSize;
        facts.dataAllocatedExact = false;
        facts.hasData = true;
        return;
    }
    // Only the first extent of a stream carries its sizes; later extents, in the base record or
    // in extension records, hold zeros there and must not overwrite them.
    if (attribute.length < kNonResidentHeaderSize || attribute.LowestVcn() != 0) {
        return;
    }
    facts.dataSize = std::max<std::int64_t>(attribute.DataSize(), 0);
    const std::int64_t occupied = attribute.OccupiedSize();
    facts.dataAllocatedExact = attribute.HasTotalAllocated() && occupied >= 0;
    if (facts.dataAllocatedExact) {
        facts.dataAllocated = occupied;
    } else {
        facts.dataAllocated = occupied > 0 ? occupied : facts.dataSize;
    }
    facts.hasData = true;
}

// Adds what the listed extension records of a base record hold to its facts; each is read from
// a private copy of its slot.
void ParseExtensionRecords(const MftRecords& records, std::span<const std::int64_t> refs,
                           std::int64_t recordNumber, bool headerIsDirectory, RecordFacts& facts) {
    std::vector<std::uint8_t> extension;
    for (const std::int64_t ref : refs) {
        if (!records.CopyFixedUp(ref, extension)) {
            continue;
        }
        const ByteReader extensionRecord(extension);
        if ((RecordFlags(extensionRecord) & kRecordInUse) != 0) {
            ParseAttributes(extensionRecord, recordNumber, headerIsDirectory, facts);
        }
    }
}

// What a directory whose names were all lost is called.
std::u16string MadeUpName(std::int64_t recordNumber) {
    std::u16string name(u"dir_");
    for (const char digit : std::to_string(recordNumber)) {
        name.push_back(static_cast<char16_t>(digit));
    }
    return name;
}

}  // namespace

bool IsExtensionRecord(const ByteReader& record, std::int64_t recordNumber) {
    // A base record has an all-zero reference. The MFT's own extension records name record 0,
    // so only the sequence number in the top bytes tells them from base records.
    const bool namesABase = record.U64(kRecordBaseReferenceOffset) != 0;
    return namesABase && RecordBaseReference(record) != recordNumber;
}

void ParseAttributes(const ByteReader& record, std::int64_t recordNumber, bool headerIsDirectory,
                     RecordFacts& facts, SpaceProbe* probe) {
    if (record.Size() < kRecordMinimumSize) {
        return;
    }
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (probe != nullptr) {
            MeasureAttribute(attribute, probe->volume, *probe->clusters, probe->space);
        }
        switch (attribute.type) {
            case kAttributeStandardInformation:
                ParseStandardInformation(attribute, facts);
                break;
            case kAttributeFileName:
                ParseFileName(attribute, recordNumber, headerIsDirectory, facts);
                break;
            case kAttributeData:
                // Named streams are alternate data and not part of the file's size.
                if (attribute.NameLength() == 0) {
                    ParseData(attribute, facts);
                }
                break;
            default:
                break;
        }
        return true;
    });
    if (probe != nullptr) {
        probe->measured = true;
    }
}

bool BuildEntry(std::int64_t recordNumber, bool headerIsDirectory, RecordFacts&& facts,
                MftEntry& entry, NamePool* names) {
    std::u16string_view name = facts.Name();
    std::u16string madeUp;
    std::int64_t parent = facts.parentRecord;
    bool isDirectory = facts.isDirectory;
    if (!name.empty()) {
        isDirectory = isDirectory || headerIsDirectory;
    } else {
        if (!headerIsDirectory) {
            return false;
        }
        // A directory whose names were all lost still holds files; it keeps a made-up name and
        // hangs below its own "." reference, or below the root.
        if (recordNumber == kRootRecord) {
            name = u".";
        } else {
            madeUp = MadeUpName(recordNumber);
            name = madeUp;
            if (facts.selfParent >= 1) {
                parent = facts.selfParent;
            } else if (parent == 0) {
                parent = kRootRecord;
            }
        }
        isDirectory = true;
    }

    std::int64_t size = 0;
    std::int64_t allocated = 0;
    bool allocatedExact = false;
    if (!isDirectory) {
        if (facts.hasData) {
            size = facts.dataSize;
            allocated = facts.dataAllocated;
            allocatedExact = facts.dataAllocatedExact;
            if (size <= 0 && facts.fnRealSize > 0) {
                size = facts.fnRealSize;
            }
        } else {
            size = facts.fnRealSize > 0 ? facts.fnRealSize : 0;
        }
        if (!allocatedExact && allocated <= 0 && facts.fnAllocated > 0) {
            allocated = facts.fnAllocated;
        }
    }

    entry.recordNumber = recordNumber;
    entry.parentRecord = parent;
    entry.name = names != nullptr ? names->Add(name) : NameText(name);
    entry.isDirectory = isDirectory;
    entry.size = std::max<std::int64_t>(size, 0);
    if (allocatedExact) {
        entry.allocated = std::max<std::int64_t>(allocated, 0);
    } else {
        entry.allocated = std::max<std::int64_t>(allocated > 0 ? allocated : size, 0);
    }
    entry.time = facts.time;
    entry.attributes = facts.attributes;
    return true;
}

bool DecodeBaseRecord(const ByteReader& record, std::int64_t recordNumber, MftEntry& entry) {
    if (record.Size() < kRecordMinimumSize || !HasRecordMagic(record)) {
        return false;
    }
    const std::uint8_t flags = RecordFlags(record);
    if ((flags & kRecordInUse) == 0 || IsExtensionRecord(record, recordNumber) ||
        record.U16(kRecordFirstAttributeOffset) >= record.Size()) {
        return false;
    }
    RecordFacts facts;
    const bool headerIsDirectory = (flags & kRecordIsDirectory) != 0;
    ParseAttributes(record, recordNumber, headerIsDirectory, facts);
    return BuildEntry(recordNumber, headerIsDirectory, std::move(facts), entry);
}

bool DecodeWithAttributeList(const MftRecords& records, std::int64_t recordNumber,
                             const ByteReader& record, MftEntry& entry,
                             const ExtensionIndex* extensions, SpaceProbe* probe, NamePool* names) {
    const std::int32_t recordSize = records.RecordSize();
    if (recordSize <= 0 || record.Size() < static_cast<std::size_t>(recordSize) ||
        !HasRecordMagic(record)) {
        return false;
    }
    const std::uint8_t flags = RecordFlags(record);
    if ((flags & kRecordInUse) == 0 || IsExtensionRecord(record, recordNumber) ||
        record.U16(kRecordFirstAttributeOffset) >= record.Size()) {
        return false;
    }
    const bool headerIsDirectory = (flags & kRecordIsDirectory) != 0;
    RecordFacts facts;
    ParseAttributes(record, recordNumber, headerIsDirectory, facts, probe);
    if (facts.nameLength == 0) {
        std::vector<std::int64_t> refs;
        NameExtensionRefs(record, recordNumber, refs);
        ParseExtensionRecords(records, refs, recordNumber, headerIsDirectory, facts);
    }
    if (facts.nameLength == 0 && extensions != nullptr && extensions->IsPending()) {
        return false;
    }
    if (facts.nameLength == 0 && extensions != nullptr) {
        ParseExtensionRecords(records, extensions->ExtensionsOf(recordNumber), recordNumber,
                              headerIsDirectory, facts);
    }
    return BuildEntry(recordNumber, headerIsDirectory, std::move(facts), entry, names);
}

bool DecodeRecordCopy(const MftRecords& records, std::int64_t recordNumber,
                      std::span<std::uint8_t> copy, MftEntry& entry,
                      const ExtensionIndex* extensions, SpaceProbe* probe, NamePool* names) {
    ApplyFixup(copy);
    return DecodeWithAttributeList(records, recordNumber, ByteReader(copy), entry, extensions,
                                   probe, names);
}

bool DecodeRecordSlot(const MftRecords& records, std::int64_t recordNumber,
                      std::vector<std::uint8_t>& scratch, MftEntry& entry,
                      const ExtensionIndex* extensions) {
    if (!records.CopyFixedUp(recordNumber, scratch)) {
        return false;
    }
    // The extension records are asked before a directory without a name in its base record is
    // given a made-up one: folders with long names keep theirs in an extension record.
    return DecodeWithAttributeList(records, recordNumber, ByteReader(scratch), entry, extensions);
}

bool DecodeRecordSlot(std::span<const std::uint8_t> image, std::int32_t recordSize,
                      std::int64_t recordNumber, std::vector<std::uint8_t>& scratch,
                      MftEntry& entry, const ExtensionIndex* extensions) {
    return DecodeRecordSlot(MftRecords(image, recordSize), recordNumber, scratch, entry,
                            extensions);
}

}  // namespace kestrin
