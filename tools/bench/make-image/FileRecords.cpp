#include "make-image/Generator.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "make-image/FileNames.h"

namespace kestrin::image {

void Generator::WriteFiles(std::int32_t f) {
    const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
    for (std::int32_t i = 0; i < folder.files; ++i) {
        FileShape& shape = prepared_.files[static_cast<std::size_t>(i)];
        if (shape.traits.deletedBefore) {
            mft_.Add(DeletedRecord(f, i, folder.record));
            ++totals_.deleted;
        }
        if (mft_.Count() != FileRecordOf(f, i)) {
            throw std::logic_error("file record out of place");
        }
        WriteFile(shape, mft_.Count());
    }
}

Bytes Generator::DeletedRecord(std::int32_t f, std::int32_t i, std::int64_t parent) {
    Rng rng(7, static_cast<std::uint64_t>(f), static_cast<std::uint64_t>(i));
    Record r;
    r.builder.Flags(0).StandardInformation(TimeOf(rng), 0x20);
    r.NoteAttribute();
    r.builder.FileName(parent, RandomFileName(rng, 60), 1);
    r.NoteAttribute();
    r.builder.ResidentData(static_cast<std::uint32_t>(rng.Range(0, 300)));
    r.NoteAttribute();
    return r.Finish();
}

Generator::DataParts Generator::Allocate(const FileShape& shape, Rng& rng) {
    DataParts parts;
    const std::int64_t clusters = CeilDiv(shape.size, kCluster);
    switch (shape.flavour) {
        case Flavour::kResident:
            break;
        case Flavour::kPlain:
            parts.pieces = allocator_.Take(clusters);
            break;
        case Flavour::kFragmented: {
            const std::int64_t count =
                shape.traits.layout == Layout::kDataOutside ? rng.Range(40, 140) : rng.Range(2, 8);
            std::int64_t left = clusters;
            for (std::int64_t k = count; k > 0 && left > 0; --k) {
                const std::int64_t piece =
                    k == 1 ? left
                           : std::max<std::int64_t>(
                                 1, left / k + rng.Range(-left / (4 * k), left / (4 * k)));
                for (const Piece& p : allocator_.Take(piece)) {
                    parts.pieces.push_back(p);
                }
                left -= piece;
                allocator_.Skip(rng.Range(1, 64));
            }
            break;
        }
        case Flavour::kSparse: {
            parts.flags = 0x8000;
            std::int64_t left = clusters;
            std::int64_t occupied = 0;
            const std::int64_t count = rng.Range(2, 6);
            for (std::int64_t k = 0; k < count && left > 0; ++k) {
                const std::int64_t data = std::min(left, rng.Range(1, 256));
                for (const Piece& p : allocator_.Take(data)) {
                    parts.pieces.push_back(p);
                }
                occupied += data;
                left -= data;
                const std::int64_t hole =
                    k + 1 == count ? left : std::min(left, rng.Range(1, left / 2 + 1));
                if (hole > 0) {
                    parts.pieces.push_back({-1, hole});
                    left -= hole;
                }
            }
            if (left > 0) {
                parts.pieces.push_back({-1, left});
            }
            parts.totalAllocated = occupied * kCluster;
            break;
        }
        case Flavour::kCompressed: {
            parts.flags = 0x0001;
            std::int64_t left = clusters;
            std::int64_t occupied = 0;
            while (left > 0) {
                const std::int64_t unit = std::min<std::int64_t>(16, left);
                const std::int64_t stored =
                    rng.Chance(0.2) ? unit : rng.Range(1, std::max<std::int64_t>(1, unit - 1));
                for (const Piece& p : allocator_.Take(stored)) {
                    parts.pieces.push_back(p);
                }
                occupied += stored;
                // The rest of a compression unit is a hole; the last unit is whole too.
                const std::int64_t hole = 16 - stored;
                if (hole > 0) {
                    parts.pieces.push_back({-1, hole});
                }
                left -= unit;
            }
            parts.totalAllocated = occupied * kCluster;
            break;
        }
    }
    return parts;
}

void Generator::AddFileData(Record& r, const FileShape& shape, const DataParts& parts) {
    if (shape.flavour == Flavour::kResident) {
        r.builder.ResidentData(static_cast<std::uint32_t>(shape.size));
        r.NoteAttribute();
    } else {
        AddData(r, parts.pieces, shape.size, shape.allocated, parts.flags, parts.totalAllocated);
    }
}

void Generator::AddNames(Record& r, const FileShape& shape) {
    bool first = true;
    for (const Name& name : shape.names) {
        r.builder.FileName(name.parent, name.text, name.nameSpace, false, first ? shape.size : 0,
                           first ? shape.allocated : 0);
        r.NoteAttribute();
        first = false;
    }
}

void Generator::AddZone(Record& r, const FileShape& shape) {
    if (shape.zoneIdentifier) {
        r.builder.ResidentData(26, u"Zone.Identifier");
        r.NoteAttribute();
        ++totals_.zoneStreams;
        totals_.namedStreams += LinkCount(shape.names);
    }
}

void Generator::WriteFile(const FileShape& shape, std::int64_t number) {
    Rng rng(8, static_cast<std::uint64_t>(number));
    const DataParts parts = Allocate(shape, rng);
    Record base;
    base.builder.StandardInformation(shape.time, shape.attributes, shape.time);
    base.NoteAttribute();
    base.Links(LinkCount(shape.names));
    const auto ref = [number](std::int64_t k) { return number + k; };
    using Entry = RecordBuilder::ListEntry;
    switch (shape.traits.layout) {
        case Layout::kOneRecord:
            AddNames(base, shape);
            AddFileData(base, shape, parts);
            AddZone(base, shape);
            mft_.Add(base.Finish());
            break;
        case Layout::kNamesOutside: {
            std::vector<Entry> list = {{kAttrStandardInformation, 0, number, 0}};
            for (std::size_t k = 0; k < shape.names.size(); ++k) {
                list.push_back({kAttrFileName, 0, ref(1), 0});
            }
            list.push_back({kAttrData, 0, number, 0});
            base.builder.AttributeList(list);
            base.NoteAttribute();
            AddFileData(base, shape, parts);
            mft_.Add(base.Finish());
            Record extension;
            extension.builder.BaseRecord(
                static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
            extension.Links(0);
            AddNames(extension, shape);
            mft_.Add(extension.Finish());
            ++totals_.namesOutside;
            totals_.extensionRecords += 1;
            break;
        }
        case Layout::kAllOutside: {
            std::vector<Entry> list = {{kAttrStandardInformation, 0, number, 0}};
            for (std::size_t k = 0; k < shape.names.size(); ++k) {
                list.push_back({kAttrFileName, 0, ref(1), 0});
            }
            list.push_back({kAttrData, 0, ref(1), 0});
            base.builder.AttributeList(list);
            base.NoteAttribute();
            mft_.Add(base.Finish());
            Record extension;
            extension.builder.BaseRecord(
                static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
            extension.Links(0);
            AddNames(extension, shape);
            AddFileData(extension, shape, parts);
            mft_.Add(extension.Finish());
            ++totals_.allOutside;
            totals_.extensionRecords += 1;
            break;
        }
        case Layout::kDataOutside: {
            const std::size_t half = parts.pieces.size() / 2;
            const std::vector<Piece> first(
                parts.pieces.begin(), parts.pieces.begin() + static_cast<std::ptrdiff_t>(half));
            const std::vector<Piece> second(
                parts.pieces.begin() + static_cast<std::ptrdiff_t>(half), parts.pieces.end());
            const std::int64_t split = ClustersOf(first);
            std::vector<Entry> list = {{kAttrStandardInformation, 0, number, 0}};
            for (std::size_t k = 0; k < shape.names.size(); ++k) {
                list.push_back({kAttrFileName, 0, number, 0});
            }
            list.push_back({kAttrData, 0, ref(1), 0});
            list.push_back({kAttrData, split, ref(2), 0});
            base.builder.AttributeList(list);
            base.NoteAttribute();
            // The names in the base record keep a stale size of 0, as NTFS leaves them.
            for (const Name& name : shape.names) {
                base.builder.FileName(name.parent, name.text, name.nameSpace, false);
                base.NoteAttribute();
            }
            AddZone(base, shape);
            mft_.Add(base.Finish());
            Record one;
            one.builder.BaseRecord(
                static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
            one.Links(0);
            AddData(one, first, shape.size, shape.allocated, 0, -1);
            mft_.Add(one.Finish());
            Record two;
            two.builder.BaseRecord(
                static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
            two.Links(0);
            AddData(two, second, 0, 0, 0, -1, split);
            mft_.Add(two.Finish());
            ++totals_.dataOutside;
            totals_.extensionRecords += 2;
            break;
        }
    }
    Count(shape);
}

void Generator::Count(const FileShape& shape) {
    ++totals_.files;
    totals_.bytes += shape.size;
    totals_.largest = std::max(totals_.largest, shape.size);
    if (shape.size >= (1LL << 30)) {
        ++totals_.gigabyteFiles;
    }
    totals_.linkNames += shape.traits.links;
    for (const Name& name : shape.names) {
        totals_.dosNames += name.nameSpace == 2 ? 1 : 0;
        totals_.posixNames += name.nameSpace == 0 ? 1 : 0;
        totals_.foreignNames += IsForeign(name.text) ? 1 : 0;
    }
    switch (shape.flavour) {
        case Flavour::kResident:
            ++totals_.resident;
            break;
        case Flavour::kSparse:
            ++totals_.sparse;
            break;
        case Flavour::kCompressed:
            ++totals_.compressed;
            break;
        case Flavour::kFragmented:
            ++totals_.fragmented;
            break;
        case Flavour::kPlain:
            break;
    }
}

}  // namespace kestrin::image
