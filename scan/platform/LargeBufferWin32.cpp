#include <new>

#include "scan/platform/MftBytes.h"

namespace kestrin {

// Large pages on Windows need a privilege the program does not ask for; the heap serves.
void* AllocateLargeBuffer(std::size_t bytes) {
    return ::operator new(bytes);
}

void FreeLargeBuffer(void* memory, std::size_t) noexcept {
    ::operator delete(memory);
}

bool LargeBufferIsRemappable(std::size_t) noexcept {
    return false;
}

}  // namespace kestrin
