#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <unordered_map>

#include "scan/results/ScanResult.h"

namespace kestrin {

// An earlier scan as the CSV that kestrin-scan --csv wrote holds it, by path: folders with
// their allocated size, files with their size and allocated size.
struct EarlierScan {
    struct File {
        std::int64_t size = 0;
        std::int64_t allocated = 0;
    };
    std::unordered_map<std::string, std::int64_t> folders;
    std::unordered_map<std::string, File> files;
};

// Reads such a CSV. Nothing, with the reason in `why`, when it is not one: another header, a
// row without its nine fields, a type that is neither folder nor file, a size that is no number.
std::optional<EarlierScan> ReadEarlierScan(std::istream& in, std::string& why);

// The block "与上次扫描比较": the 20 folders whose allocated size changed most, the 20 largest
// new files and the 20 largest files gone. Folders and files are matched by path, since record
// numbers are reused; a folder on one side only counts 0 on the other. UTF-8.
std::string ComparisonText(const ScanResult& now, const EarlierScan& then);

}  // namespace kestrin
