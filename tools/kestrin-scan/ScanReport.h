#pragma once

#include <string>

#include "scan/results/ScanResult.h"

namespace kestrin {

// The readable summary of a scan, UTF-8: the completion line, the folders directly under the
// root, the 20 largest files and the 20 largest extensions.
std::string ScanReportText(const ScanResult& result);

}  // namespace kestrin
