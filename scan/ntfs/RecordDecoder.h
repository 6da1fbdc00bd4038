#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/ExtensionIndex.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/ntfs/MftRecords.h"
#include "scan/ntfs/RecordSpace.h"

namespace kestrin {

// What one decode has gathered from a record and, possibly, its extension records.
struct RecordFacts {
    // The chosen name's UTF-16 units, as the record holds them: held here rather than in a string
    // of its own, which cost an allocation for nearly every record of a volume.
    std::array<char16_t, 255> nameUnits;  // NOLINT: only the first nameLength are ever read
    std::uint8_t nameLength = 0;
    std::int64_t parentRecord = 0;
    std::int64_t fnRealSize = 0;
    std::int64_t fnAllocated = 0;
    std::int64_t dataSize = 0;
    std::int64_t dataAllocated = 0;
    bool hasData = false;
    // Set when dataAllocated is the exact occupied size of a compressed or sparse stream, which
    // may rightly be 0; no other size then stands in for it.
    bool dataAllocatedExact = false;
    bool isDirectory = false;
    std::int32_t namePriority = -1;
    std::int64_t selfParent = 0;
    std::int64_t time = 0;
    std::uint32_t attributes = 0;

    std::u16string_view Name() const { return {nameUnits.data(), nameLength}; }
};

// An extension record holds attributes of the base record its header names (record 0 included,
// for the MFT's own extension records). Header flag 0x04 does not mark one: NTFS sets it on the
// system files below $Extend ($Quota, $ObjId, $Reparse, $UsnJrnl), which are base records.
bool IsExtensionRecord(const ByteReader& record, std::int64_t recordNumber);

// Walks one fixed-up record's attributes into `facts`; may be called on the base record and then
// on its extension records with the same facts. With a probe, the walk also measures what the
// record places on the volume.
void ParseAttributes(const ByteReader& record, std::int64_t recordNumber, bool headerIsDirectory,
                     RecordFacts& facts, SpaceProbe* probe = nullptr);

// Turns the gathered facts into an entry, taking their name; false for a file without any name.
// The name goes into `names` where one is given, into a block of its own otherwise.
bool BuildEntry(std::int64_t recordNumber, bool headerIsDirectory, RecordFacts&& facts,
                MftEntry& entry, NamePool* names = nullptr);

// Decodes an in-use base record from its own attributes.
bool DecodeBaseRecord(const ByteReader& record, std::int64_t recordNumber, MftEntry& entry);

// Decodes a base record whose names were moved to extension records, which its resident
// attribute list names; those are looked up in `records` (a miss shows there). When that finds no
// name (the list is non-resident, or damaged) and an index is given, the extension records that
// name this record as their base are read instead; with the pending index such a record decodes to
// nothing. A probe measures the base record's own space while it is walked (an in-use base record
// is walked whether or not it yields an entry).
bool DecodeWithAttributeList(const MftRecords& records, std::int64_t recordNumber,
                             const ByteReader& record, MftEntry& entry,
                             const ExtensionIndex* extensions = nullptr,
                             SpaceProbe* probe = nullptr, NamePool* names = nullptr);

// Decodes record n from `copy`, a private copy of its slot (recordSize bytes) that is fixed up in
// place first. False for free, extension, damaged or nameless records.
bool DecodeRecordCopy(const MftRecords& records, std::int64_t recordNumber,
                      std::span<std::uint8_t> copy, MftEntry& entry,
                      const ExtensionIndex* extensions = nullptr, SpaceProbe* probe = nullptr,
                      NamePool* names = nullptr);

// Decodes record slot n of the MFT through the private `scratch` copy (recordSize bytes), so the
// bytes in memory are never modified. False for free, extension, damaged or nameless records.
bool DecodeRecordSlot(const MftRecords& records, std::int64_t recordNumber,
                      std::vector<std::uint8_t>& scratch, MftEntry& entry,
                      const ExtensionIndex* extensions = nullptr);
// The same over the whole MFT in memory.
bool DecodeRecordSlot(std::span<const std::uint8_t> image, std::int32_t recordSize,
                      std::int64_t recordNumber, std::vector<std::uint8_t>& scratch,
                      MftEntry& entry, const ExtensionIndex* extensions = nullptr);

}  // namespace kestrin
