#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/RecordBuilder.h"
#include "make-image/Clusters.h"
#include "make-image/ImageLayout.h"

namespace kestrin::image {

using test::Put;
using test::RecordBuilder;

// Attribute sizes, as RecordBuilder lays attributes out, so that a record is known to fit
// before it is built.

std::size_t ResidentSize(std::size_t nameUnits, std::size_t valueLength);

std::size_t NonResidentSize(std::size_t nameUnits, std::size_t runBytes, bool withTotal);

std::size_t FileNameSize(std::size_t units);

constexpr std::size_t kStandardInformationSize = 0x60;

std::size_t ListSize(std::size_t entries);

// The update sequence, applied to every 512-byte stride of a record or index block.
void Protect(Bytes& bytes, std::size_t usaOffset);

std::uint32_t U32(const Bytes& bytes, std::size_t at);

// A record under construction: RecordBuilder lays out the attributes it knows; attributes it
// has no call for are given whole, and what it leaves fixed (link count, compression unit, last
// VCN) is set before the update sequence goes on.
class Record {
public:
    RecordBuilder builder;

    // For a non-resident attribute just added through the builder.
    void NoteNonResident(std::int64_t lastVcn, bool compressed) {
        patches_.push_back({attributes_, lastVcn, compressed});
        ++attributes_;
    }
    void NoteAttribute() { ++attributes_; }
    std::uint16_t NextId() const { return static_cast<std::uint16_t>(attributes_); }
    void Raw(const Bytes& attribute) {
        builder.RawAttribute(attribute);
        ++attributes_;
    }
    void Links(std::uint16_t count) { links_ = count; }

    Bytes Finish() const {
        Bytes r = builder.Build(false);
        if (U32(r, 0x18) > kRecordSize) {
            throw std::logic_error("attributes overflow a record");
        }
        Put(r, 0x12, links_, 2);
        Put(r, 0x28, attributes_, 2);
        std::size_t at = r[0x14] | r[0x15] << 8;
        for (std::size_t ordinal = 0; at + 8 <= r.size() && U32(r, at) != 0xFFFFFFFF; ++ordinal) {
            for (const Patch& patch : patches_) {
                if (patch.ordinal == ordinal) {
                    Put(r, at + 0x18, static_cast<std::uint64_t>(patch.lastVcn), 8);
                    if (patch.compressed) {
                        Put(r, at + 0x22, 4, 1);
                    }
                }
            }
            at += U32(r, at + 4);
        }
        Protect(r, 0x30);
        return r;
    }

private:
    struct Patch {
        std::size_t ordinal;
        std::int64_t lastVcn;
        bool compressed;
    };
    std::vector<Patch> patches_;
    std::size_t attributes_ = 0;
    std::uint16_t links_ = 1;
};

Bytes RawResident(std::uint32_t type, std::u16string_view name, const Bytes& value,
                  std::uint16_t id);

Bytes RawNonResident(std::uint32_t type, std::u16string_view name, const std::vector<Piece>& pieces,
                     std::int64_t dataSize, std::uint16_t id);

// A $DATA attribute through the builder, with its pieces.
void AddData(Record& record, const std::vector<Piece>& pieces, std::int64_t dataSize,
             std::int64_t allocated, std::uint16_t flags, std::int64_t totalAllocated,
             std::int64_t lowestVcn = 0, std::u16string name = u"");

}  // namespace kestrin::image
