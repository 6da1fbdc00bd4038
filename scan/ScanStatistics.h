#pragma once

#include "scan/ScanResult.h"
#include "scan/ScanSlice.h"

namespace kestrin {

// One row per extension text (case kept), largest total first.
void BuildExtensionStats(ScanResult& result, const ScanSlice& slice);

// The files the largest-files heap kept, largest first, with their folder paths; needs the
// directory tree of `result`.
void BuildLargestFiles(ScanResult& result, const ScanSlice& slice);

}  // namespace kestrin
