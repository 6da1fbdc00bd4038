#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "scan/results/ScanResult.h"

namespace kestrin {

// One field, quoted when it holds a comma, a quote or a line break (quotes doubled).
std::string CsvField(const std::string& text);

// What orders a folder's files in the CSV: largest first, then by record number, so that the same
// volume always gives the same file.
struct CsvFileKey {
    std::int64_t size = 0;
    std::int64_t record = 0;
};
bool CsvFileOrder(CsvFileKey a, CsvFileKey b);

// The complete result for spreadsheets and scripts: UTF-8, a header row, one row per folder
// (depth-first from the root, each followed by its own files) and per file; folders that the
// root does not reach come last. Rows end in CR LF. False when writing fails.
bool WriteCsv(const ScanResult& result, std::FILE* out);

}  // namespace kestrin
