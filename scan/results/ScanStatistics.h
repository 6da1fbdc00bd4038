#pragma once

#include "scan/results/DirectoryTree.h"
#include "scan/results/ScanResult.h"
#include "scan/results/ScanSlice.h"

namespace kestrin {

// One row per extension text (case kept), largest total first.
void BuildExtensionStats(ScanResult& result, const ScanSlice& slice);

// The files the largest-files list kept, largest first, with their folder paths; needs the
// directory tree of `result`. The kept entries and their names move out of `largest`, and the
// rows share the extension texts the file rows of the tree already hold.
// `paths` holds the paths of the folders it knows.
void BuildLargestFiles(ScanResult& result, LargestFiles&& largest, const ExtensionTable& extensions,
                       const FolderPathMap& paths);

}  // namespace kestrin
