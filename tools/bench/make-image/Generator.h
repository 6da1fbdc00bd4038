#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "make-image/Clusters.h"
#include "make-image/FileShape.h"
#include "make-image/FolderIndex.h"
#include "make-image/ImageFile.h"
#include "make-image/ImageLayout.h"
#include "make-image/MftStream.h"
#include "make-image/RecordWriter.h"
#include "make-image/Rng.h"
#include "make-image/Totals.h"
#include "make-image/TreePlan.h"

namespace kestrin::image {

// Everything one folder needs once its children are known.
struct PreparedFolder {
    std::vector<FileShape> files;
    FolderIndex index;
    std::vector<Piece> blockPieces;
};

class Generator {
public:
    Generator(std::int64_t records, const char* path, bool indexes);

    Totals Run();

    const std::vector<Piece>& Extents() const { return extents_; }
    std::int64_t VolumeClusters() const { return volumeClusters_; }
    std::int64_t BytesWritten() const { return file_.Written(); }
    std::int64_t ExpectedFlsLines() const {
        return totals_.listedNames + totals_.namedStreams - unnamedDataMissing_;
    }

private:
    // The MFT in five extents of uneven size with files between them, as an MFT that grew with
    // its volume lies.
    std::vector<Piece> LayOutMft();

    // Fixed places for the system files before the first MFT extent; files follow them.
    std::int64_t LayOutSystemFiles();

    static std::int64_t TimeOf(Rng& rng) { return rng.Range(kFileTime2008, kFileTime2024); }
    static std::int64_t FolderTime(std::int32_t f);

    // The system records (SystemRecords.cpp).
    Bytes MetaFile(std::int64_t number, const std::u16string& name,
                   const std::vector<Piece>& pieces, std::int64_t size, std::uint16_t flags = 1);

    void CountMetaFile(std::int64_t number, const std::u16string& name, std::int64_t size);

    // A system file of empty view indexes, with a named stream before them when `stream` is set.
    Record ViewIndexes(std::int64_t parent, const std::u16string& name, std::uint16_t flags,
                       const std::vector<std::pair<std::u16string_view, std::uint32_t>>& roots,
                       const Piece* stream = nullptr);

    Bytes RecordZero();

    Bytes BitmapRecord() { return MetaFileQuiet(u"$Bitmap", bitmap_, bitmapBytes_); }

    Bytes MetaFileQuiet(const std::u16string& name, const std::vector<Piece>& pieces,
                        std::int64_t size);

    Bytes BadClusRecord();

    void WriteSystemRecords();

    Bytes ExtendRecord();

    static Bytes FreeRecord();

    // The folders (FolderRecords.cpp).
    void Child(std::vector<IndexItem>& items, std::int64_t parent, const Name& name,
               std::int64_t record, bool directory, std::int64_t size, std::int64_t allocated,
               std::int64_t time, std::uint32_t attributes);

    Name FolderName(std::int32_t f) const;

    // Fixes the names of a folder's children (made unique, 8.3 names added), works out its
    // files and builds its index.
    PreparedFolder Prepare(std::int32_t f);

    std::int64_t FileRecordOf(std::int32_t f, std::int32_t i);

    // Size and shape of a file's data, to fit the room its names leave.
    void Decide(FileShape& shape, Rng& rng, std::int64_t fixedSize);

    Bytes FolderRecord(std::int32_t f);

    // The files (FileRecords.cpp).
    void WriteFiles(std::int32_t f);

    Bytes DeletedRecord(std::int32_t f, std::int32_t i, std::int64_t parent);

    struct DataParts {
        std::vector<Piece> pieces;
        std::int64_t totalAllocated = -1;
        std::uint16_t flags = 0;
    };

    DataParts Allocate(const FileShape& shape, Rng& rng);

    void AddFileData(Record& r, const FileShape& shape, const DataParts& parts);

    void AddNames(Record& r, const FileShape& shape);

    // A downloaded file's mark; fls lists the stream once under each of the file's names.
    void AddZone(Record& r, const FileShape& shape);

    void WriteFile(const FileShape& shape, std::int64_t number);

    void Count(const FileShape& shape);

    // The end: the bitmap, the boot sector and what only other tools read.
    void Finish();

    Bytes BootSector() const;

    void WriteSystemFileContents();

    static Bytes AttrDef();

    struct MetaName {
        std::int64_t number;
        std::u16string name;
        std::int64_t size;
    };

    std::int64_t records_;
    bool indexes_;
    ImageFile file_;
    Plan plan_;
    std::vector<Piece> extents_;
    MftStream mft_;
    Piece boot_{}, mirror_{}, attrDef_{}, upcase_{}, sds_{}, mftBitmap_{}, logFile_{}, usnData_{};
    std::int64_t mftBitmapBytes_ = 0;
    ClusterAllocator allocator_;
    std::vector<Piece> bitmap_;
    std::int64_t bitmapBytes_ = 8;
    std::int64_t volumeClusters_ = 0;
    PreparedFolder prepared_;
    std::vector<MetaName> metaNames_;
    std::int32_t slotFolder_ = -1;
    std::vector<std::int64_t> slots_;
    // System files that hold only named streams: fls lists those streams but not the bare name.
    // It adds a line of its own for $OrphanFiles.
    std::int64_t unnamedDataMissing_ = -1;
    Totals totals_;
};

}  // namespace kestrin::image
