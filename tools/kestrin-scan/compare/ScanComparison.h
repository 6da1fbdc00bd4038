#pragma once

#include <cstdint>
#include <string>

#include "scan/results/ScanResult.h"
#include "tools/kestrin-scan/compare/EarlierScan.h"

namespace kestrin {

// The block "与上次扫描比较": the 20 folders whose allocated size changed most, the 20 largest
// new files and the 20 largest files gone. Folders and files are matched by path, since record
// numbers are reused; a folder on one side only counts 0 on the other. UTF-8.
std::string ComparisonText(const ScanResult& now, const EarlierScan& then);

}  // namespace kestrin
