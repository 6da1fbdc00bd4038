#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrin {

// Where records the MFT's bytes in memory do not hold come from: the volume, through a cache.
class RecordFetcher {
public:
    virtual ~RecordFetcher() = default;
    // Copies the raw bytes of record n into `copy` (resized to the record size); false when the
    // record cannot be had.
    virtual bool Fetch(std::int64_t n, std::vector<std::uint8_t>& copy) = 0;
};

// The record slots of the MFT that a decode looks up by number: the stretch of the MFT in memory
// (all of it, or the piece being decoded), and, where a fetcher is given, any other record through
// it. Without one a record of the MFT that lies outside the stretch is not read: the lookup
// fails and is noted as missed, so that the caller decodes the record again once the whole MFT
// has passed, when records out of order are read from the volume. A record number past the MFT
// is never missed: it is damage, and fails as such.
//
// Not shared between threads: each decoding task has its own, over the piece in its hands.
class MftRecords {
public:
    // `bytes` holds records [firstRecord, firstRecord + bytes.size() / recordSize) of an MFT of
    // `recordCount` slots; -1 stands for the slots `bytes` holds (the whole MFT in memory).
    MftRecords(std::span<const std::uint8_t> bytes, std::int32_t recordSize,
               std::int64_t firstRecord = 0, std::int64_t recordCount = -1,
               RecordFetcher* fetcher = nullptr);

    // Marks `bytes` as a buffer the scan read the MFT into, which is copied from directly; the
    // whole MFT in memory may be a mapping of an image file, whose bytes are copied through the
    // kernel (CopyImageBytes).
    MftRecords& ReadIntoBuffer() {
        readIntoBuffer_ = true;
        return *this;
    }

    // Copies the raw slots from record `first` on into `out` (a whole number of records, all
    // held in memory).
    void CopyHeld(std::int64_t first, std::span<std::uint8_t> out) const;

    std::int32_t RecordSize() const { return recordSize_; }
    std::int64_t FirstRecord() const { return firstRecord_; }
    // The slots held in memory.
    std::int64_t HeldRecords() const { return heldRecords_; }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

    // Copies record n into `copy` (resized to the record size) and fixes the copy up; the bytes
    // in memory are never modified. False when the record cannot be had.
    bool CopyFixedUp(std::int64_t n, std::vector<std::uint8_t>& copy) const;

    // Whether a lookup since the last ClearMissed asked for a record of the MFT that was not at
    // hand.
    bool Missed() const { return missed_; }
    void ClearMissed() const { missed_ = false; }

private:
    std::span<const std::uint8_t> bytes_;
    std::int32_t recordSize_ = 0;
    std::int64_t firstRecord_ = 0;
    std::int64_t heldRecords_ = 0;
    std::int64_t recordCount_ = 0;
    RecordFetcher* fetcher_ = nullptr;
    bool readIntoBuffer_ = false;
    mutable bool missed_ = false;
};

}  // namespace kestrin
