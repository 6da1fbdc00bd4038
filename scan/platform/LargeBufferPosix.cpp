#include <sys/mman.h>

#include <new>

#include "scan/platform/MappedFiles.h"
#include "scan/platform/MftBytes.h"

namespace kestrin {

namespace {

// Below this the ordinary heap serves as well.
constexpr std::size_t kMappedFrom = std::size_t{32} << 20;

}  // namespace

void* AllocateLargeBuffer(std::size_t bytes) {
    if (bytes < kMappedFrom) {
        return ::operator new(bytes);
    }
    void* memory =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        throw std::bad_alloc();
    }
#if defined(MADV_HUGEPAGE)
    // Advice only: without huge pages the buffer simply has ordinary ones.
    ::madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    return memory;
}

void FreeLargeBuffer(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    if (bytes < kMappedFrom) {
        ::operator delete(memory);
        return;
    }
    ForgetMappedFiles(static_cast<const std::uint8_t*>(memory), bytes);
    ::munmap(memory, bytes);
}

bool LargeBufferIsRemappable(std::size_t bytes) noexcept {
    return bytes >= kMappedFrom;
}

}  // namespace kestrin
