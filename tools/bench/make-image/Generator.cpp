#include "make-image/Generator.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "make-image/FileNames.h"

namespace kestrin::image {

Generator::Generator(std::int64_t records, const char* path, bool indexes)
    : records_(records),
      indexes_(indexes),
      file_(path),
      plan_(MakePlan(records)),
      extents_(LayOutMft()),
      mft_(file_, extents_),
      allocator_(LayOutSystemFiles(), extents_) {}

Totals Generator::Run() {
    WriteSystemRecords();
    for (std::size_t f = 0; f < plan_.folders.size(); ++f) {
        if (f > 0) {
            if (mft_.Count() != plan_.folders[f].record) {
                throw std::logic_error("folder record out of place");
            }
            prepared_ = Prepare(static_cast<std::int32_t>(f));
            mft_.Add(FolderRecord(static_cast<std::int32_t>(f)));
        }
        WriteFiles(static_cast<std::int32_t>(f));
    }
    while (mft_.Count() < records_) {
        mft_.Add(FreeRecord());
        ++totals_.freeRecords;
    }
    mft_.Flush();
    Finish();
    return totals_;
}

std::vector<Piece> Generator::LayOutMft() {
    const std::int64_t clusters = CeilDiv(records_ * kRecordSize, kCluster);
    static constexpr std::array<double, 5> kShares = {0.07, 0.18, 0.25, 0.2, 0.3};
    std::vector<Piece> extents;
    std::int64_t lcn = kMftStartLcn;
    std::int64_t left = clusters;
    for (std::size_t i = 0; i < kShares.size() && left > 0; ++i) {
        std::int64_t size =
            i + 1 == kShares.size()
                ? left
                : std::max<std::int64_t>(1, static_cast<std::int64_t>(clusters * kShares[i]));
        size = std::min(size, left);
        extents.push_back({lcn, size});
        left -= size;
        lcn += size + size * 48 + 1024;
    }
    return extents;
}

std::int64_t Generator::LayOutSystemFiles() {
    mftBitmapBytes_ =
        static_cast<std::int64_t>(Align8(static_cast<std::size_t>(CeilDiv(records_, 8))));
    std::int64_t lcn = 0;
    auto place = [&lcn](std::int64_t clusters) {
        const Piece p{lcn, clusters};
        lcn += clusters;
        return p;
    };
    boot_ = place(2);
    mirror_ = place(1);
    attrDef_ = place(1);
    upcase_ = place(32);
    sds_ = place(68);
    mftBitmap_ = place(CeilDiv(mftBitmapBytes_, kCluster));
    logFile_ = place(16384);
    usnData_ = place(2048);
    return lcn;
}

std::int64_t Generator::FolderTime(std::int32_t f) {
    Rng rng(9, static_cast<std::uint64_t>(f));
    return TimeOf(rng);
}

void Generator::Finish() {
    // $Bitmap covers the whole volume, itself included: one of its clusters maps 32768, and
    // the volume is as large as its clusters map, which leaves a twentieth or more free.
    constexpr std::int64_t kMapped = kCluster * 8;
    const std::int64_t used =
        std::max(allocator_.Next(), extents_.back().lcn + extents_.back().clusters);
    const std::int64_t bitmapClusters = CeilDiv(used + used / 20 + 4096, kMapped);
    bitmap_ = allocator_.Take(bitmapClusters);
    const std::int64_t end =
        std::max(allocator_.Next(), extents_.back().lcn + extents_.back().clusters);
    volumeClusters_ = bitmapClusters * kMapped;
    bitmapBytes_ = volumeClusters_ / 8;
    if (volumeClusters_ < end + 2048) {
        throw std::logic_error("$Bitmap too small");
    }
    mft_.Rewrite(6, BitmapRecord());
    CountMetaFile(6, u"$Bitmap", bitmapBytes_);
    mft_.Rewrite(8, BadClusRecord());
    const Bytes boot = BootSector();
    file_.WriteAt(0, boot);
    file_.WriteAt(volumeClusters_ * kCluster - kSectorSize, boot);
    if (indexes_) {
        WriteSystemFileContents();
    }
    file_.SetSize(volumeClusters_ * kCluster);
}

Bytes Generator::BootSector() const {
    Bytes b(kSectorSize);
    b[0] = 0xEB;
    b[1] = 0x52;
    b[2] = 0x90;
    std::memcpy(b.data() + 3, "NTFS    ", 8);
    Put(b, 0x0B, kSectorSize, 2);
    Put(b, 0x0D, kCluster / kSectorSize, 1);
    Put(b, 0x15, 0xF8, 1);
    Put(b, 0x18, 63, 2);
    Put(b, 0x1A, 255, 2);
    Put(b, 0x24, 0x00800080, 4);
    Put(b, 0x28, static_cast<std::uint64_t>(volumeClusters_ * (kCluster / kSectorSize) - 1), 8);
    Put(b, 0x30, static_cast<std::uint64_t>(extents_.front().lcn), 8);
    Put(b, 0x38, static_cast<std::uint64_t>(mirror_.lcn), 8);
    Put(b, 0x40, 0xF6, 1);  // 2^10-byte records
    Put(b, 0x44, 1, 1);     // one cluster per index block
    Put(b, 0x48, 0x4B455354524E3031, 8);
    Put(b, 0x1FE, 0xAA55, 2);
    return b;
}

void Generator::WriteSystemFileContents() {
    file_.WriteAt(mirror_.lcn * kCluster, mft_.Mirror());
    file_.WriteAt(mftBitmap_.lcn * kCluster, mft_.InUse());
    Bytes upcase(131072);
    for (std::size_t c = 0; c < 65536; ++c) {
        Put(upcase, 2 * c, Upcase(static_cast<char16_t>(c)), 2);
    }
    file_.WriteAt(upcase_.lcn * kCluster, upcase);
    file_.WriteAt(attrDef_.lcn * kCluster, AttrDef());
    // Every cluster up to the last one handed out is in use but for the gaps left on purpose.
    const std::int64_t used = allocator_.Next();
    const std::vector<Piece>& skipped = allocator_.Skipped();
    std::size_t gap = 0;
    constexpr std::int64_t kChunkClusters = std::int64_t{8} << 23;  // 8 MiB of bitmap
    for (std::int64_t start = 0; start < volumeClusters_; start += kChunkClusters) {
        const std::int64_t stop = std::min(volumeClusters_, start + kChunkClusters);
        Bytes bits(static_cast<std::size_t>(CeilDiv(stop - start, 8)));
        for (std::int64_t c = start; c < std::min(stop, used); ++c) {
            bits[static_cast<std::size_t>((c - start) / 8)] |=
                static_cast<std::uint8_t>(1u << ((c - start) % 8));
        }
        for (; gap < skipped.size() && skipped[gap].lcn < stop; ++gap) {
            for (std::int64_t c = std::max(skipped[gap].lcn, start);
                 c < std::min(skipped[gap].lcn + skipped[gap].clusters, stop); ++c) {
                bits[static_cast<std::size_t>((c - start) / 8)] &=
                    static_cast<std::uint8_t>(~(1u << ((c - start) % 8)));
            }
            if (skipped[gap].lcn + skipped[gap].clusters > stop) {
                break;
            }
        }
        // Bitmap clusters in order: the pieces of $Bitmap hold consecutive bytes.
        std::int64_t byteOffset = start / 8;
        std::size_t done = 0;
        for (const Piece& p : bitmap_) {
            const std::int64_t pieceBytes = p.clusters * kCluster;
            if (byteOffset >= pieceBytes) {
                byteOffset -= pieceBytes;
                continue;
            }
            const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(
                pieceBytes - byteOffset, static_cast<std::int64_t>(bits.size() - done)));
            file_.WriteAt(p.lcn * kCluster + byteOffset, bits.data() + done, n);
            done += n;
            byteOffset = 0;
            if (done == bits.size()) {
                break;
            }
        }
    }
}

Bytes Generator::AttrDef() {
    struct Definition {
        std::u16string_view name;
        std::uint32_t type;
        std::uint32_t flags;
        std::int64_t minimum;
        std::int64_t maximum;
    };
    static constexpr std::array<Definition, 16> kDefinitions = {{
        {u"$STANDARD_INFORMATION", 0x10, 0x40, 0x30, 0x48},
        {u"$ATTRIBUTE_LIST", 0x20, 0x80, 0, -1},
        {u"$FILE_NAME", 0x30, 0x42, 0x44, 0x242},
        {u"$OBJECT_ID", 0x40, 0x40, 0, 0x100},
        {u"$SECURITY_DESCRIPTOR", 0x50, 0x80, 0, -1},
        {u"$VOLUME_NAME", 0x60, 0x40, 2, 0x100},
        {u"$VOLUME_INFORMATION", 0x70, 0x40, 0x0C, 0x0C},
        {u"$DATA", 0x80, 0x00, 0, -1},
        {u"$INDEX_ROOT", 0x90, 0x40, 0, -1},
        {u"$INDEX_ALLOCATION", 0xA0, 0x80, 0, -1},
        {u"$BITMAP", 0xB0, 0x80, 0, -1},
        {u"$REPARSE_POINT", 0xC0, 0x80, 0, 0x4000},
        {u"$EA_INFORMATION", 0xD0, 0x40, 8, 8},
        {u"$EA", 0xE0, 0x00, 0, 0x10000},
        {u"$LOGGED_UTILITY_STREAM", 0x100, 0x80, 0, 0x10000},
        {u"", 0, 0, 0, 0},
    }};
    Bytes table(kCluster);
    std::size_t at = 0;
    for (const Definition& d : kDefinitions) {
        for (std::size_t i = 0; i < d.name.size(); ++i) {
            Put(table, at + 2 * i, d.name[i], 2);
        }
        Put(table, at + 0x80, d.type, 4);
        Put(table, at + 0x88, 1, 4);  // collation of file names
        Put(table, at + 0x8C, d.flags, 4);
        Put(table, at + 0x90, static_cast<std::uint64_t>(d.minimum), 8);
        Put(table, at + 0x98, static_cast<std::uint64_t>(d.maximum), 8);
        at += 0xA0;
    }
    return table;
}

}  // namespace kestrin::image
