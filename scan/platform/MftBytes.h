#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace kestrin {

// Memory for buffers of hundreds of megabytes: on Linux mapped directly and backed by huge pages
// where the kernel allows, which cuts the page faults of a 1 GiB buffer from 262144 to 512.
void* AllocateLargeBuffer(std::size_t bytes);
void FreeLargeBuffer(void* memory, std::size_t bytes) noexcept;
// True when a buffer of this many bytes is a mapping of its own, whose pages a volume source may
// replace with pages of an image file (VolumeSource::MapAt); false for heap memory.
bool LargeBufferIsRemappable(std::size_t bytes) noexcept;

// Leaves new elements uninitialised: the MFT image is written in full by the reader, and zeroing
// it first would cost a pass over memory as long as the read itself.
template <typename T>
struct UninitializedAllocator {
    using value_type = T;

    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(AllocateLargeBuffer(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept {
        FreeLargeBuffer(memory, count * sizeof(T));
    }
    template <typename U, typename... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        if constexpr (sizeof...(Arguments) == 0) {
            ::new (static_cast<void*>(place)) U;
        } else {
            ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
        }
    }

    template <typename U>
    bool operator==(const UninitializedAllocator<U>&) const noexcept {
        return true;
    }
};

// The MFT as read from the volume, record after record.
using MftBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

}  // namespace kestrin
