#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/DataRuns.h"
#include "scan/source/VolumeSource.h"

namespace kestrin {

// Forensic and collection tools save a volume's $MFT as a file of its own: record 0 at offset 0,
// every record at its number times the record size. What that file's records say.

// The record size a file that starts with record 0 of an MFT states in that record's header: the
// "FILE" magic, an update sequence array that fits the record, attributes inside it, in use, no
// base record. 0 when `bytes` start with no such record.
std::int32_t BareMftRecordSize(std::span<const std::uint8_t> bytes);

// True for a cluster size an NTFS volume can have: a power of two from 512 bytes to 2 MiB.
bool IsUsableClusterSize(std::int64_t clusterSize);

// The cluster size record 0 of the $MFT file implies: the bytes its $DATA allocates over the
// clusters its run list covers, the extension records' included. 0 when it cannot tell: no run
// list, or one that does not add up.
std::int64_t ImpliedMftClusterSize(VolumeSource& file);

// Record `number` of the file, fixed up; empty when the file does not hold it.
std::vector<std::uint8_t> ReadFileRecord(VolumeSource& file, std::int64_t number,
                                         std::int32_t recordSize);

// The runs of record `number`'s unnamed $DATA, those of the extension records its resident
// attribute list names included, and the stream's size in bytes. Empty without a run list.
std::vector<DataRun> FileRecordDataRuns(VolumeSource& file, std::int64_t number,
                                        std::int32_t recordSize, std::int64_t& dataSize);

// The runs of a record's attribute list where it is not resident; empty otherwise.
std::vector<DataRun> NonResidentListRuns(const ByteReader& record);

// The MFT's extension records hold the rest of its run list. Where record 0's attribute list,
// which names them, is not resident, its clusters are not in the file: the records are found by
// their base reference instead (record 0 with a sequence number, so never 0 as a whole), the file
// read a piece at a time. Appends their runs to `runs` and returns an attribute list value that
// names them, to be read in the list's place.
std::vector<std::uint8_t> FindMftExtensions(VolumeSource& file, std::int32_t recordSize,
                                            std::vector<DataRun>& runs);

}  // namespace kestrin
