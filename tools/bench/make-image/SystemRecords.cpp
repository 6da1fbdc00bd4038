#include "make-image/Generator.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "make-image/FileNames.h"

namespace kestrin::image {

Bytes Generator::MetaFile(std::int64_t number, const std::u16string& name,
                          const std::vector<Piece>& pieces, std::int64_t size,
                          std::uint16_t flags) {
    Record r;
    r.builder.Flags(flags).StandardInformation(kFileTime2008, 0x06);
    r.NoteAttribute();
    r.builder.FileName(kRootRecord, name, 3, false, size, ClustersOf(pieces) * kCluster);
    r.NoteAttribute();
    AddData(r, pieces, size, ClustersOf(pieces) * kCluster, 0, -1);
    CountMetaFile(number, name, size);
    return r.Finish();
}

void Generator::CountMetaFile(std::int64_t number, const std::u16string& name, std::int64_t size) {
    ++totals_.files;
    totals_.bytes += size;
    metaNames_.push_back({number, name, size});
}

Record Generator::ViewIndexes(
    std::int64_t parent, const std::u16string& name, std::uint16_t flags,
    const std::vector<std::pair<std::u16string_view, std::uint32_t>>& roots, const Piece* stream) {
    Record r;
    r.builder.Flags(flags).StandardInformation(kFileTime2008, 0x06);
    r.NoteAttribute();
    r.builder.FileName(parent, name, 3, false);
    r.NoteAttribute();
    if (stream != nullptr) {
        AddData(r, {*stream}, 262396, stream->clusters * kCluster, 0, -1, 0, u"$SDS");
        ++totals_.namedStreams;
    }
    Bytes empty;
    AppendEnd(empty, -1);
    for (const auto& [streamName, collation] : roots) {
        r.Raw(RawResident(kAttrIndexRoot, streamName, IndexRootValue(empty, false, 0, collation),
                          r.NextId()));
        ++totals_.namedStreams;
    }
    ++unnamedDataMissing_;
    return r;
}

Bytes Generator::RecordZero() {
    Record r;
    r.builder.StandardInformation(kFileTime2008, 0x06);
    r.NoteAttribute();
    const std::int64_t size = records_ * kRecordSize;
    const std::int64_t clusters = ClustersOf(extents_);
    r.builder.FileName(kRootRecord, u"$MFT", 3, false, size, clusters * kCluster);
    r.NoteAttribute();
    AddData(r, extents_, size, clusters * kCluster, 0, -1);
    r.Raw(RawNonResident(kAttrBitmap, u"", {mftBitmap_}, mftBitmapBytes_, r.NextId()));
    return r.Finish();
}

Bytes Generator::MetaFileQuiet(const std::u16string& name, const std::vector<Piece>& pieces,
                               std::int64_t size) {
    Record r;
    r.builder.StandardInformation(kFileTime2008, 0x06);
    r.NoteAttribute();
    r.builder.FileName(kRootRecord, name, 3, false, size, ClustersOf(pieces) * kCluster);
    r.NoteAttribute();
    AddData(r, pieces, size, ClustersOf(pieces) * kCluster, 0, -1);
    return r.Finish();
}

Bytes Generator::BadClusRecord() {
    Record r;
    r.builder.StandardInformation(kFileTime2008, 0x06);
    r.NoteAttribute();
    r.builder.FileName(kRootRecord, u"$BadClus", 3, false);
    r.NoteAttribute();
    r.builder.ResidentData(0);
    r.NoteAttribute();
    // The clusters the boot sector counts: all but the one that ends in the backup boot sector.
    const std::int64_t clusters = std::max<std::int64_t>(volumeClusters_ - 1, 1);
    AddData(r, {{-1, clusters}}, clusters * kCluster, clusters * kCluster, 0x8000, 0, 0, u"$Bad");
    return r.Finish();
}

void Generator::WriteSystemRecords() {
    mft_.Add(RecordZero());
    CountMetaFile(0, u"$MFT", records_ * kRecordSize);
    mft_.Add(MetaFile(1, u"$MFTMirr", {mirror_}, 4 * kRecordSize));
    mft_.Add(MetaFile(2, u"$LogFile", {logFile_}, logFile_.clusters * kCluster));
    {
        Record r;
        r.builder.StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        r.builder.FileName(kRootRecord, u"$Volume", 3, false);
        r.NoteAttribute();
        Bytes label;
        for (const char16_t c : std::u16string_view(u"Kestrin")) {
            label.push_back(static_cast<std::uint8_t>(c));
            label.push_back(0);
        }
        r.Raw(RawResident(kAttrVolumeName, u"", label, r.NextId()));
        Bytes info(12);
        Put(info, 8, 3, 1);
        Put(info, 9, 1, 1);
        r.Raw(RawResident(kAttrVolumeInformation, u"", info, r.NextId()));
        r.Raw(RawResident(kAttrData, u"", {}, r.NextId()));
        mft_.Add(r.Finish());
        CountMetaFile(3, u"$Volume", 0);
    }
    mft_.Add(MetaFile(4, u"$AttrDef", {attrDef_}, 2560));
    prepared_ = Prepare(0);
    mft_.Add(FolderRecord(0));
    // $Bitmap's size is known only at the end; it is written again then.
    bitmap_ = {{boot_.lcn, 1}};
    mft_.Add(BitmapRecord());
    mft_.Add(MetaFile(7, u"$Boot", {boot_}, 8192));
    mft_.Add(BadClusRecord());
    CountMetaFile(8, u"$BadClus", 0);
    ++totals_.namedStreams;
    {
        mft_.Add(
            ViewIndexes(kRootRecord, u"$Secure", 0x09, {{u"$SDH", 0x12}, {u"$SII", 0x10}}, &sds_)
                .Finish());
        CountMetaFile(9, u"$Secure", 0);
    }
    mft_.Add(MetaFile(10, u"$UpCase", {upcase_}, 131072));
    mft_.Add(ExtendRecord());
    for (std::int64_t n = 12; n < 16; ++n) {
        Record r;
        r.builder.StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        mft_.Add(r.Finish());
    }
    for (std::int64_t n = 16; n < 24; ++n) {
        mft_.Add(FreeRecord());
        ++totals_.freeRecords;
    }
    mft_.Add(ViewIndexes(kExtendRecord, u"$Quota", 0x0D, {{u"$O", 0x11}, {u"$Q", 0x10}}).Finish());
    mft_.Add(ViewIndexes(kExtendRecord, u"$ObjId", 0x0D, {{u"$O", 0x13}}).Finish());
    mft_.Add(ViewIndexes(kExtendRecord, u"$Reparse", 0x0D, {{u"$R", 0x13}}).Finish());
    {
        Record r;
        r.builder.Flags(0x05).StandardInformation(kFileTime2008, 0x26);
        r.NoteAttribute();
        r.builder.FileName(kExtendRecord, u"$UsnJrnl", 3, false);
        r.NoteAttribute();
        const std::int64_t hole = 1LL << 13;
        const std::int64_t size = (hole + usnData_.clusters) * kCluster - 1234;
        AddData(r, {{-1, hole}, usnData_}, size, (hole + usnData_.clusters) * kCluster, 0x8000,
                usnData_.clusters * kCluster, 0, u"$J");
        r.builder.ResidentData(32, u"$Max");
        r.NoteAttribute();
        totals_.namedStreams += 2;
        ++unnamedDataMissing_;
        mft_.Add(r.Finish());
    }
    totals_.files += 4;
    ++totals_.folders;  // $Extend
}

Bytes Generator::ExtendRecord() {
    Record r;
    r.builder.Flags(3).StandardInformation(kFileTime2008, 0x16);
    r.NoteAttribute();
    r.builder.FileName(kRootRecord, u"$Extend", 3, true);
    r.NoteAttribute();
    std::vector<IndexItem> items;
    const std::array<std::pair<std::int64_t, std::u16string_view>, 4> children = {
        {{24, u"$Quota"}, {25, u"$ObjId"}, {26, u"$Reparse"}, {27, u"$UsnJrnl"}}};
    for (const auto& [number, name] : children) {
        items.push_back({Upcase(name),
                         FileNameValue(kExtendRecord, std::u16string(name), 3, false, 0, 0,
                                       kFileTime2008, 0x26),
                         number});
        ++totals_.listedNames;
    }
    const FolderIndex index = BuildIndex(items, 4096, 4096, false);
    r.Raw(RawResident(kAttrIndexRoot, u"$I30",
                      IndexRootValue(index.rootEntries, false, kAttrFileName, 1), r.NextId()));
    return r.Finish();
}

Bytes Generator::FreeRecord() {
    RecordBuilder b;
    b.Flags(0);
    Bytes r = b.Build(false);
    Protect(r, 0x30);
    return r;
}

}  // namespace kestrin::image
