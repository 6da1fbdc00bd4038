#include "scan/pipeline/ParallelParse.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "render/Format.h"
#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/pipeline/ExtentResolver.h"
#include "scan/platform/ImageCopy.h"
#include "scan/platform/ParallelForEach.h"

namespace kestrin {

namespace {

// Records are copied out of the image in batches of this many bytes: few enough calls, and a
// batch still in the cache when its records are decoded.
constexpr std::size_t kBatchBytes = std::size_t{256} << 10;

// What the tasks of one decode share; everything else is private to a task.
struct SharedProgress {
    std::atomic<std::int32_t> processed{0};
    std::mutex progressLock;
    std::mutex outputLock;
};

void ReportDecoding(const ParseContext& context, SharedProgress& shared, std::int32_t processed) {
    std::lock_guard<std::mutex> lock(shared.progressLock);
    const std::int64_t percent = std::min<std::int64_t>(
        std::int64_t{processed} * 78 / std::max(context.recordCount, 1) + 10, 88);
    const std::wstring text = L"并行解析: " +
                              FormatCount(std::min(processed, context.recordCount)) + L" / " +
                              FormatCount(context.recordCount);
    (*context.progress)(static_cast<std::int32_t>(percent), text);
}

void RunSlice(const ParseContext& context, const SliceRange& range, SharedProgress& shared,
              std::vector<ScanSlice>& results) {
    ScanSlice slice;
    ParseSliceRecords(context.image, context.recordSize, range.begin, range.end, slice,
                      context.extensions, context.volume);
    const std::int32_t processed =
        shared.processed.fetch_add(range.end - range.begin) + (range.end - range.begin);
    if (context.progress != nullptr && *context.progress &&
        processed % kProgressRecordStep < context.sliceSize) {
        ReportDecoding(context, shared, processed);
    }
    std::lock_guard<std::mutex> lock(shared.outputLock);
    results.push_back(std::move(slice));
}

// A slot that decoded to nothing is either an extension record, noted for the index, or perhaps
// a base record whose name only the index finds.
void NoteForExtensionIndex(const ByteReader& record, std::int32_t number, ScanSlice& slice) {
    if (record.Size() < kRecordBaseReferenceOffset + 8 || !HasRecordMagic(record) ||
        (RecordFlags(record) & kRecordInUse) == 0) {
        return;
    }
    if (IsExtensionRecord(record, number)) {
        slice.extensionRecords.emplace_back(RecordBaseReference(record), number);
    } else {
        slice.unnamedRecords.push_back(number);
    }
}

// Merges `named` (in record order) into `entries` (in record order) from the back, in place. The
// slice reserved a place for every slot of its range and the named records are slots that gave no
// entry before, so this never needs a second list as long as the first.
void MergeInRecordOrder(std::vector<MftEntry>& entries, std::vector<MftEntry>& named) {
    std::size_t from = entries.size();
    std::size_t next = named.size();
    entries.resize(entries.size() + named.size());
    std::size_t to = entries.size();
    while (next > 0) {
        if (from > 0 && entries[from - 1].recordNumber > named[next - 1].recordNumber) {
            entries[--to] = std::move(entries[--from]);
        } else {
            entries[--to] = std::move(named[--next]);
        }
    }
}

void DecodeUnnamedOfSlice(const MftRecords& records, const ExtensionIndex& index,
                          ScanSlice& slice) {
    std::vector<MftEntry> named;
    std::vector<std::uint8_t> scratch;
    for (const std::int32_t number : slice.unnamedRecords) {
        MftEntry entry;
        if (DecodeRecordSlot(records, number, scratch, entry, &index)) {
            named.push_back(std::move(entry));
        }
    }
    slice.unnamedRecords.clear();
    MergeInRecordOrder(slice.entries, named);
}

void NoteLateSizes(const MftRecords& records, ScanSlice& slice) {
    std::vector<std::uint8_t> base;
    std::vector<std::uint8_t> extension;
    for (const std::int64_t number : slice.lateSizeRecords) {
        if (records.CopyFixedUp(number, base)) {
            NoteListedDataSizes(ByteReader(base), number, records, extension, slice);
        }
    }
    slice.lateSizeRecords.clear();
}

// A chunk of a piece: the unit the decoding threads claim.
struct Chunk {
    std::size_t piece = 0;
    SliceRange range;
};

// A piece is decoded in this many chunks: pieces are large (the reader keeps few of them), and
// the threads share them out in order, so that the pieces in hand stay few too.
constexpr std::int64_t kChunksPerPiece = 8;

std::vector<Chunk> MakeChunks(std::int32_t recordCount, std::int64_t recordsPerPiece) {
    std::vector<Chunk> chunks;
    if (recordsPerPiece <= 0) {
        return chunks;
    }
    const std::int64_t size = std::max<std::int64_t>(1, recordsPerPiece / kChunksPerPiece);
    for (std::int64_t begin = 0; begin < recordCount;) {
        const std::int64_t piece = begin / recordsPerPiece;
        const std::int64_t end =
            std::min({begin + size, (piece + 1) * recordsPerPiece, std::int64_t{recordCount}});
        chunks.push_back(Chunk{static_cast<std::size_t>(piece),
                               {static_cast<std::int32_t>(begin), static_cast<std::int32_t>(end)}});
        begin = end;
    }
    return chunks;
}

// Hands a piece back once the last of its chunks has ended, however it ended: a piece never
// handed back would stop the reader, and every chunk of the pieces after it, for good.
class PieceRelease {
public:
    PieceRelease(MftPieceReader& reader, std::atomic<std::int32_t>& left, std::size_t piece)
        : reader_(reader), left_(left), piece_(piece) {}
    PieceRelease(const PieceRelease&) = delete;
    PieceRelease& operator=(const PieceRelease&) = delete;
    ~PieceRelease() {
        if (left_.fetch_sub(1) == 1) {
            reader_.Release(piece_);
        }
    }

private:
    MftPieceReader& reader_;
    std::atomic<std::int32_t>& left_;
    std::size_t piece_;
};

// Reports as the counter passes a multiple of 300000 records, and when it reaches the total.
bool PassesReportPoint(std::int32_t before, std::int32_t after, std::int32_t total) {
    return after / kProgressRecordStep != before / kProgressRecordStep || after == total;
}

}  // namespace

void DecodeUnnamedRecords(const MftRecords& records, std::vector<ScanSlice>& slices) {
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
    for (ScanSlice& slice : slices) {
        pairs.insert(pairs.end(), slice.extensionRecords.begin(), slice.extensionRecords.end());
        slice.extensionRecords.clear();
        slice.extensionRecords.shrink_to_fit();
    }
    const ExtensionIndex index = ExtensionIndex::FromPairs(std::move(pairs));
    for (ScanSlice& slice : slices) {
        DecodeUnnamedOfSlice(records, index, slice);
        NoteLateSizes(records, slice);
    }
}

void DecodeUnnamedRecords(std::span<const std::uint8_t> image, std::int32_t recordSize,
                          std::vector<ScanSlice>& slices) {
    DecodeUnnamedRecords(MftRecords(image, recordSize), slices);
}

std::int32_t SliceSizeFor(std::int32_t recordCount, unsigned hardwareThreads) {
    const std::int64_t perThread =
        std::int64_t{recordCount} / std::max<std::int64_t>(1, hardwareThreads);
    return static_cast<std::int32_t>(std::max<std::int64_t>(kMinimumSliceSize, perThread));
}

std::vector<SliceRange> MakeSlices(std::int32_t recordCount, std::int32_t sliceSize) {
    std::vector<SliceRange> slices;
    if (sliceSize <= 0) {
        return slices;
    }
    for (std::int64_t begin = 0; begin < recordCount; begin += sliceSize) {
        const std::int64_t end = std::min<std::int64_t>(begin + sliceSize, recordCount);
        slices.push_back(
            SliceRange{static_cast<std::int32_t>(begin), static_cast<std::int32_t>(end)});
    }
    return slices;
}

namespace {

// Copies record n as the piece holds it into the slice, while the keeper has room.
void Keep(const MftRecords& records, std::int64_t n, ScanSlice& slice, LateRecordKeeper& keeper) {
    if (!keeper.TakeRoom(records.RecordSize())) {
        return;
    }
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(records.RecordSize()));
    records.CopyHeld(n, raw);
    slice.keptRecords.emplace_back(n, std::move(raw));
}

// An extension record of a base record put off: the base is decoded again with all of them, found
// through the extension index when its attribute list is not in the record.
bool KeptForItsBase(const ByteReader& record, std::int64_t n, const LateRecordKeeper& keeper) {
    return record.Size() >= kRecordBaseReferenceOffset + 8 && HasRecordMagic(record) &&
           IsExtensionRecord(record, n) && keeper.IsPutOff(RecordBaseReference(record));
}

// A record put off is kept, and so are the records its attribute list names in pieces not read
// yet, once their pieces pass; those in pieces passed already are read again.
void KeepPutOff(const MftRecords& records, std::int64_t n, const ByteReader& record,
                ScanSlice& slice, LateRecordKeeper& keeper) {
    keeper.PutOff(n);
    Keep(records, n, slice, keeper);
    std::vector<std::int64_t> refs;
    NameExtensionRefs(record, n, refs);
    DataExtensionRefs(record, n, refs);
    const std::int64_t pieceEnd = records.FirstRecord() + records.HeldRecords();
    for (const std::int64_t ref : refs) {
        if (ref >= pieceEnd) {
            keeper.Want(ref);
        }
    }
}

}  // namespace

void ParseSliceRecords(const MftRecords& records, std::int32_t begin, std::int32_t end,
                       ScanSlice& slice, const ExtensionIndex* extensions,
                       const VolumeClusters& volume, LateRecordKeeper* keeper) {
    const std::int32_t recordSize = records.RecordSize();
    if (recordSize <= 0) {
        return;
    }
    const auto size = static_cast<std::size_t>(recordSize);
    const std::int64_t first = records.FirstRecord();
    begin = static_cast<std::int32_t>(std::max<std::int64_t>(begin, first));
    const std::int32_t last =
        static_cast<std::int32_t>(std::min<std::int64_t>(end, first + records.HeldRecords()));
    if (last <= begin) {
        return;
    }
    // Most slots of a volume are in use: room for all of them up front spares the list's
    // doublings, each of which moved every entry and touched fresh memory. Room never written to
    // is never faulted in.
    slice.entries.reserve(slice.entries.size() + static_cast<std::size_t>(last - begin));
    const ExtensionIndex* index = extensions != nullptr ? extensions : &ExtensionIndex::Pending();
    // The slots are copied out of memory a batch at a time and fixed up in the copy, so the bytes
    // shared by every thread are never modified.
    const auto batchRecords =
        static_cast<std::int32_t>(std::max<std::size_t>(1, kBatchBytes / size));
    std::vector<std::uint8_t> batch(static_cast<std::size_t>(batchRecords) * size);
    std::vector<std::uint8_t> extension;
    SpaceProbe probe;
    probe.volume = volume;
    probe.clusters = &slice.clusters;
    // The names of the slice's entries, one after another in a few blocks: a volume's millions of
    // names each in an allocation of its own cost twice the memory, and the time to fault it in.
    NamePool names;
    for (std::int32_t from = begin; from < last; from += batchRecords) {
        const std::int32_t count = std::min(batchRecords, last - from);
        const std::span<std::uint8_t> copies(batch.data(), static_cast<std::size_t>(count) * size);
        records.CopyHeld(from, copies);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t n = from + i;
            const std::span<std::uint8_t> copy =
                copies.subspan(static_cast<std::size_t>(i) * size, size);
            MftEntry entry;
            probe.measured = false;
            probe.space = RecordSpace{};
            records.ClearMissed();
            const bool decoded = DecodeRecordCopy(records, n, copy, entry, index, &probe, &names);
            const std::size_t unnamed = slice.unnamedRecords.size();
            if (records.Missed()) {
                // Its names lie in records outside the piece in hand: decoded again once the
                // whole MFT has passed. Its own space is measured already, and is not again.
                slice.unnamedRecords.push_back(n);
            } else if (decoded) {
                if (!entry.isDirectory) {
                    slice.fileSizes.Count(entry.size);
                    entry.extensionId = slice.extensionIds.IdOf(entry.name.ExtensionUnits());
                }
                slice.entries.push_back(std::move(entry));
            } else if (extensions == nullptr) {
                NoteForExtensionIndex(ByteReader(copy), n, slice);
            }
            bool putOff = slice.unnamedRecords.size() > unnamed;
            // The slot's fixed-up copy is at hand: its extension-record sizes, named streams and
            // clusters are noted here rather than in a second pass over the whole MFT; the
            // decoder's walk has measured the space of a base record already.
            records.ClearMissed();
            NoteRecordExtents(ByteReader(copy), n, records, extension, slice, probe);
            if (records.Missed()) {
                slice.lateSizeRecords.push_back(n);
                putOff = true;
            }
            if (keeper == nullptr) {
                continue;
            }
            if (putOff) {
                KeepPutOff(records, n, ByteReader(copy), slice, *keeper);
            } else if (keeper->Wanted(n) || KeptForItsBase(ByteReader(copy), n, *keeper)) {
                Keep(records, n, slice, *keeper);
            }
        }
    }
}

void ParseSliceRecords(std::span<const std::uint8_t> image, std::int32_t recordSize,
                       std::int32_t begin, std::int32_t end, ScanSlice& slice,
                       const ExtensionIndex* extensions, const VolumeClusters& volume) {
    ParseSliceRecords(MftRecords(image, recordSize), begin, end, slice, extensions, volume);
}

std::vector<ScanSlice> ParsePieces(MftPieceReader& reader, const ParseContext& context) {
    const std::vector<Chunk> chunks = MakeChunks(context.recordCount, reader.RecordsPerPiece());
    std::vector<ScanSlice> results(chunks.size());
    // Chunks left per piece: the last one to end hands the piece's buffer back.
    std::vector<std::atomic<std::int32_t>> left(reader.PieceCount());
    for (const Chunk& chunk : chunks) {
        left[chunk.piece].fetch_add(1, std::memory_order_relaxed);
    }
    SharedProgress shared;
    ParallelForEach(chunks.size(), context.hardwareThreads, [&](std::size_t i) {
        const Chunk& chunk = chunks[i];
        const PieceRelease release(reader, left[chunk.piece], chunk.piece);
        MftRecords window(reader.Wait(chunk.piece), context.recordSize,
                          static_cast<std::int64_t>(chunk.piece) * reader.RecordsPerPiece(),
                          context.recordCount);
        window.ReadIntoBuffer();
        ParseSliceRecords(window, chunk.range.begin, chunk.range.end, results[i], nullptr,
                          context.volume, context.keeper);
        const std::int32_t count = chunk.range.end - chunk.range.begin;
        const std::int32_t processed = shared.processed.fetch_add(count) + count;
        if (context.progress != nullptr && *context.progress &&
            PassesReportPoint(processed - count, processed, context.recordCount)) {
            ReportDecoding(context, shared, processed);
        }
    });
    return results;
}

std::vector<ScanSlice> ParseAllSlices(const ParseContext& context) {
    const std::vector<SliceRange> slices = MakeSlices(context.recordCount, context.sliceSize);
    std::vector<ScanSlice> results;
    // Room for every slice up front: appending under the lock never moves finished slices.
    results.reserve(slices.size());
    SharedProgress shared;
    ParallelForEach(slices.size(), context.hardwareThreads,
                    [&](std::size_t i) { RunSlice(context, slices[i], shared, results); });
    return results;
}

}  // namespace kestrin
