#pragma once

#include <string>
#include <string_view>

#include "scan/results/ScanResult.h"

namespace kestrin {

// The readable summary of a scan, UTF-8: the completion line, the folders directly under the
// root, the 20 largest files, the 20 largest extensions and the accounting of the volume's space.
// `noBitmap` is said when the volume's used space is unknown, in place of the unreadable bitmap.
std::string ScanReportText(const ScanResult& result, std::string_view noBitmap = {});

}  // namespace kestrin
