#include "tools/kestrin-scan/HeapTunables.h"

#include <cstdlib>
#include <string>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace kestrin {

void RestartWithTunedHeap([[maybe_unused]] char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
    struct Tunable {
        const char* name;
        const char* value;
    };
    constexpr Tunable kTunables[] = {
        {"glibc.malloc.hugetlb", "1"},
        {"glibc.malloc.top_pad", "134217728"},
        // One heap for every thread: the entries the decoding threads leave are turned into file
        // rows on the main thread, and memory freed into another thread's arena could not serve
        // those rows (the 8-million-record scan held both, 280 MB more at its peak).
        {"glibc.malloc.arena_max", "1"},
    };
    // Set by the restart itself, so that a glibc that ignores the tunables is not restarted
    // again and again.
    constexpr const char* kMark = "KESTRIN_HEAP_TUNED";
    if (std::getenv(kMark) != nullptr) {
        return;
    }
    const char* current = std::getenv("GLIBC_TUNABLES");
    std::string tunables = current != nullptr ? current : "";
    bool added = false;
    for (const Tunable& tunable : kTunables) {
        if (tunables.find(tunable.name) == std::string::npos) {
            tunables +=
                std::string(tunables.empty() ? "" : ":") + tunable.name + "=" + tunable.value;
            added = true;
        }
    }
    if (!added || ::setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0 ||
        ::setenv(kMark, "1", 1) != 0) {
        return;
    }
    ::execv("/proc/self/exe", argv);
    // No /proc or no exec: go on as we are, only slower.
    if (current != nullptr) {
        ::setenv("GLIBC_TUNABLES", current, 1);
    } else {
        ::unsetenv("GLIBC_TUNABLES");
    }
    ::unsetenv(kMark);
#endif
}

}  // namespace kestrin
