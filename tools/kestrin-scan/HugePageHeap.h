#pragma once

namespace kestrin {

// A scan of a million files makes millions of small heap objects; on Linux, page faults of the
// growing heap took over half of its time. glibc backs its heap with transparent huge pages
// only when told so through GLIBC_TUNABLES at start-up, so the scanner starts itself once more
// with that setting. Returns only when that did not happen (already set, other platforms, or
// exec failed): the scan then runs as it is.
void RestartWithHugePageHeap(char** argv);

}  // namespace kestrin
