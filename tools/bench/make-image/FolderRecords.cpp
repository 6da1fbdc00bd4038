#include "make-image/Generator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

#include "make-image/FileNames.h"

namespace kestrin::image {

void Generator::Child(std::vector<IndexItem>& items, std::int64_t parent, const Name& name,
                      std::int64_t record, bool directory, std::int64_t size,
                      std::int64_t allocated, std::int64_t time, std::uint32_t attributes) {
    items.push_back({Upcase(name.text) + u'\0' + name.text,
                     FileNameValue(parent, name.text, name.nameSpace, directory, size, allocated,
                                   time, attributes),
                     record});
    if (name.nameSpace != 2) {
        ++totals_.listedNames;
    }
}

Name Generator::FolderName(std::int32_t f) const {
    const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
    return {plan_.folders[static_cast<std::size_t>(folder.parent)].record, folder.name,
            folder.nameSpace};
}

PreparedFolder Generator::Prepare(std::int32_t f) {
    Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
    PreparedFolder out;
    std::unordered_set<std::u16string> taken;
    std::vector<IndexItem> items;
    std::int64_t ordinal = 0;
    const std::int64_t self = folder.record;
    if (f == 0) {
        for (const auto& meta : metaNames_) {
            Child(items, self, {self, meta.name, 3}, meta.number, false, meta.size, meta.size,
                  kFileTime2008, 0x06);
            taken.insert(Upcase(meta.name));
        }
        Child(items, self, {self, u"$Bitmap", 3}, 6, false, 0, 0, kFileTime2008, 0x06);
        Child(items, self, {self, u"$Boot", 3}, 7, false, 8192, 8192, kFileTime2008, 0x06);
        Child(items, self, {self, u"$BadClus", 3}, 8, false, 0, 0, kFileTime2008, 0x06);
        Child(items, self, {self, u"$Secure", 3}, 9, false, 0, 0, kFileTime2008, 0x06);
        Child(items, self, {self, u"$UpCase", 3}, 10, false, 131072, 131072, kFileTime2008, 0x06);
        Child(items, self, {self, u"$Extend", 3}, kExtendRecord, true, 0, 0, kFileTime2008, 0x06);
        // "." names the root in its own index; listings leave it out.
        Child(items, self, {self, u".", 3}, kRootRecord, true, 0, 0, kFileTime2008, 0x06);
        --totals_.listedNames;
        for (const std::u16string_view name :
             {u"$Bitmap", u"$Boot", u"$BadClus", u"$Secure", u"$UpCase", u"$Extend"}) {
            taken.insert(Upcase(name));
        }
    }
    for (const std::int32_t s : folder.subfolders) {
        Folder& sub = plan_.folders[static_cast<std::size_t>(s)];
        MakeUnique(sub.name, taken);
        Rng rng(5, static_cast<std::uint64_t>(s));
        if (IsShortName(sub.name)) {
            sub.nameSpace = 3;
        } else if (rng.Chance(0.35)) {
            sub.dosName = DosName(sub.name, ++ordinal);
        }
        const std::int64_t time = FolderTime(s);
        Child(items, self, {self, sub.name, sub.nameSpace}, sub.record, true, 0, 0, time, 0x10);
        if (!sub.dosName.empty()) {
            Child(items, self, {self, sub.dosName, 2}, sub.record, true, 0, 0, time, 0x10);
        }
    }
    for (const std::uint32_t l : folder.linksIn) {
        Link& link = plan_.links[l];
        MakeUnique(link.name, taken);
        const std::int64_t record = FileRecordOf(link.folder, link.file);
        Child(items, self, {self, link.name, 1}, record, false, 0, 0, kFileTime2008, 0x20);
    }
    std::size_t linkCursor = folder.firstLink;
    for (std::int32_t i = 0; i < folder.files; ++i) {
        FileShape shape;
        shape.traits = TraitsOf(f, i);
        Rng rng(6, static_cast<std::uint64_t>(f), static_cast<std::uint64_t>(i));
        Name own{self,
                 f == 0 ? std::u16string(kRootFiles[static_cast<std::size_t>(i)].name)
                        : RandomFileName(rng, PrimaryNameCap(shape.traits.layout)),
                 1};
        MakeUnique(own.text, taken);
        shape.names.push_back(own);
        if (IsShortName(own.text)) {
            shape.names.back().nameSpace = 3;
        } else if (shape.traits.layout != Layout::kNamesOutside && rng.Chance(0.35)) {
            shape.names.push_back({self, DosName(own.text, ++ordinal), 2});
        } else if (rng.Chance(0.01)) {
            shape.names.back().nameSpace = 0;
        }
        for (std::int32_t k = 0; k < shape.traits.links; ++k, ++linkCursor) {
            const Link& link = plan_.links[linkCursor];
            shape.names.push_back(
                {plan_.folders[static_cast<std::size_t>(link.target)].record, link.name, 1});
        }
        shape.time = TimeOf(rng);
        if (rng.Chance(0.03)) {
            shape.attributes |= 0x01;
        }
        if (rng.Chance(0.02)) {
            shape.attributes |= 0x06;
        }
        Decide(shape, rng, f == 0 ? kRootFiles[static_cast<std::size_t>(i)].size : -1);
        const std::int64_t record = FileRecordOf(f, i);
        Child(items, self, shape.names[0], record, false, shape.size, shape.allocated, shape.time,
              shape.attributes);
        if (shape.names.size() > 1 && shape.names[1].nameSpace == 2) {
            Child(items, self, shape.names[1], record, false, shape.size, shape.allocated,
                  shape.time, shape.attributes);
        }
        out.files.push_back(std::move(shape));
    }
    // The record holds its names, the index root and, for a large index, where the blocks
    // are.
    const Name name = f == 0 ? Name{kRootRecord, u".", 3} : FolderName(f);
    std::size_t fixed =
        kStandardInformationSize + FileNameSize(name.text.size()) + kIndexRootOverhead;
    if (f > 0 && !folder.dosName.empty()) {
        fixed += FileNameSize(folder.dosName.size());
    }
    const std::size_t smallRoom = kAttributeSpace - fixed;
    for (std::size_t reserve = 0;; reserve += 8) {
        const std::size_t largeRoom =
            smallRoom - kIndexAllocationReserve - BitmapAttributeSize(128) - reserve;
        out.index = BuildIndex(items, smallRoom, largeRoom, indexes_);
        if (!out.index.large) {
            break;
        }
        const std::size_t used = fixed + out.index.rootEntries.size() + kIndexAllocationReserve +
                                 BitmapAttributeSize(out.index.blockCount);
        if (used <= kAttributeSpace) {
            break;
        }
    }
    if (out.index.large) {
        out.blockPieces = allocator_.Take(static_cast<std::int64_t>(out.index.blockCount));
        totals_.indexBlocks += static_cast<std::int64_t>(out.index.blockCount);
        ++totals_.largeIndexes;
        if (indexes_) {
            std::int64_t vcn = 0;
            for (const Piece& p : out.blockPieces) {
                for (std::int64_t k = 0; k < p.clusters; ++k, ++vcn) {
                    Bytes& block = out.index.blocks[static_cast<std::size_t>(vcn)];
                    Protect(block, 0x28);
                    file_.WriteAt((p.lcn + k) * kCluster, block);
                }
            }
        }
        out.index.blocks.clear();
    }
    return out;
}

std::int64_t Generator::FileRecordOf(std::int32_t f, std::int32_t i) {
    // Cached per folder: the slots of its files in order.
    if (slotFolder_ != f) {
        slotFolder_ = f;
        slots_.clear();
        const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
        std::int64_t slot = folder.firstFileSlot;
        for (std::int32_t k = 0; k < folder.files; ++k) {
            const Traits t = TraitsOf(f, k);
            slots_.push_back(slot + (t.deletedBefore ? 1 : 0));
            slot += SlotsOf(t);
        }
    }
    return slots_[static_cast<std::size_t>(i)];
}

void Generator::Decide(FileShape& shape, Rng& rng, std::int64_t fixedSize) {
    const Layout layout = shape.traits.layout;
    std::size_t room = kAttributeSpace - kStandardInformationSize;
    if (layout == Layout::kOneRecord) {
        room -= NamesSize(shape.names);
    } else if (layout == Layout::kNamesOutside) {
        room -= ListSize(3 + shape.names.size());
    } else if (layout == Layout::kAllOutside) {
        room = kAttributeSpace - NamesSize(shape.names);
    }
    shape.size = fixedSize >= 0 ? fixedSize : PickSize(rng);
    if (layout == Layout::kDataOutside) {
        shape.size = rng.LogUniform(8 << 20, 256 << 20);
        shape.flavour = Flavour::kFragmented;
        shape.allocated = CeilDiv(shape.size, kCluster) * kCluster;
        return;
    }
    if (fixedSize < 0 && rng.Chance(0.001) && NonResidentSize(0, 8 * 14, true) <= room) {
        shape.size = rng.LogUniform(10 << 20, 16LL << 30);
        shape.flavour = Flavour::kSparse;
        shape.attributes |= 0x200;
    } else if (shape.size <= 700 && ResidentSize(0, static_cast<std::size_t>(shape.size)) <= room) {
        shape.flavour = Flavour::kResident;
    } else if (fixedSize < 0 && shape.size > kCluster && shape.size <= (2 << 20) &&
               rng.Chance(0.015) &&
               NonResidentSize(
                   0, 6 * static_cast<std::size_t>(CeilDiv(shape.size, 16 * kCluster)) + 16,
                   true) <= room) {
        shape.flavour = Flavour::kCompressed;
        shape.attributes |= 0x800;
    } else if (shape.size >= (64 << 10) && rng.Chance(0.04) &&
               NonResidentSize(0, 8 * 12, false) <= room) {
        shape.flavour = Flavour::kFragmented;
    } else {
        shape.flavour = Flavour::kPlain;
        if (shape.size <= 700) {
            shape.size = 701;  // too little room left to keep it in the record
        }
    }
    const std::int64_t clusters = CeilDiv(shape.size, kCluster);
    shape.allocated = shape.flavour == Flavour::kResident ? shape.size
                      : shape.flavour == Flavour::kCompressed
                          ? CeilDiv(clusters, 16) * 16 * kCluster
                          : clusters * kCluster;
    const std::size_t used = shape.flavour == Flavour::kResident
                                 ? ResidentSize(0, static_cast<std::size_t>(shape.size))
                                 : NonResidentSize(0, 8 * 14, true);
    if (room >= used + ResidentSize(15, 26) && rng.Chance(0.02)) {
        shape.zoneIdentifier = true;
    }
}

Bytes Generator::FolderRecord(std::int32_t f) {
    const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
    Record r;
    r.builder.Flags(3);
    if (f == 0) {
        r.builder.StandardInformation(kFileTime2008, 0x16);
        r.NoteAttribute();
        r.builder.FileName(kRootRecord, u".", 3, true);
        r.NoteAttribute();
    } else {
        r.builder.StandardInformation(FolderTime(f), 0x10, FolderTime(f));
        r.NoteAttribute();
        const Name name = FolderName(f);
        r.builder.FileName(name.parent, name.text, name.nameSpace, true);
        r.NoteAttribute();
        if (!folder.dosName.empty()) {
            r.builder.FileName(name.parent, folder.dosName, 2, true);
            r.NoteAttribute();
        }
        ++totals_.folders;
        ++totals_.depths[static_cast<std::size_t>(folder.depth)];
        if (IsForeign(folder.name)) {
            ++totals_.foreignNames;
        }
    }
    const FolderIndex& index = prepared_.index;
    r.Raw(RawResident(kAttrIndexRoot, u"$I30",
                      IndexRootValue(index.rootEntries, index.large, kAttrFileName, 1),
                      r.NextId()));
    if (index.large) {
        r.Raw(RawNonResident(kAttrIndexAllocation, u"$I30", prepared_.blockPieces,
                             static_cast<std::int64_t>(index.blockCount) * kIndexBlock,
                             r.NextId()));
        Bytes bits(Align8(
            static_cast<std::size_t>(CeilDiv(static_cast<std::int64_t>(index.blockCount), 8))));
        for (std::size_t b = 0; b < index.blockCount; ++b) {
            bits[b / 8] |= static_cast<std::uint8_t>(1u << (b % 8));
        }
        r.Raw(RawResident(kAttrBitmap, u"$I30", bits, r.NextId()));
    }
    return r.Finish();
}

}  // namespace kestrin::image
