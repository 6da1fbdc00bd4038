#include "tools/kestrin-scan/HugePageHeap.h"

#include <cstdlib>
#include <string>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace kestrin {

void RestartWithHugePageHeap([[maybe_unused]] char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
    constexpr const char* kTunable = "glibc.malloc.hugetlb=1";
    // Set by the restart itself, so that a glibc that ignores the tunable is not restarted
    // again and again.
    constexpr const char* kMark = "KESTRIN_HEAP_TUNED";
    if (std::getenv(kMark) != nullptr) {
        return;
    }
    const char* current = std::getenv("GLIBC_TUNABLES");
    std::string tunables = current != nullptr ? current : "";
    if (tunables.find("glibc.malloc.hugetlb") != std::string::npos) {
        return;
    }
    tunables += tunables.empty() ? kTunable : std::string(":") + kTunable;
    if (::setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0 || ::setenv(kMark, "1", 1) != 0) {
        return;
    }
    ::execv("/proc/self/exe", argv);
    // No /proc or no exec: go on as we are, only slower.
    if (current != nullptr) {
        ::setenv("GLIBC_TUNABLES", current, 1);
    } else {
        ::unsetenv("GLIBC_TUNABLES");
    }
#endif
}

}  // namespace kestrin
