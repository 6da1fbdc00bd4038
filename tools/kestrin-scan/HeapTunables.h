#pragma once

namespace kestrin {

// A scan of a million files makes millions of small heap objects, and on Linux the pages the heap
// grows into cost more than the work done in them. glibc takes its heap settings only from
// GLIBC_TUNABLES at start-up, so the scanner starts itself once more with them set:
// - huge pages for the heap (glibc.malloc.hugetlb=1): 512 times fewer page faults;
// - a heap that grows 128 MiB at a time (glibc.malloc.top_pad). A decoding thread's arena
//   otherwise grows a few pages at a time, each step an mprotect that takes the address-space
//   lock the other thread's page faults wait on, and in pieces too small for huge pages: the
//   pool thread decoded its half of the records at half the speed of the main thread.
// Settings already given in GLIBC_TUNABLES are kept. Returns only when no restart happened
// (nothing to add, other platforms, or exec failed): the scan then runs as it is.
void RestartWithTunedHeap(char** argv);

}  // namespace kestrin
