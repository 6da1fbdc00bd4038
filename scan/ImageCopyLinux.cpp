#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>

#include "scan/ImageCopy.h"

namespace kestrin {

void CopyImageBytes(const std::uint8_t* from, std::span<std::uint8_t> to) {
    std::size_t done = 0;
    while (done < to.size()) {
        iovec local{to.data() + done, to.size() - done};
        // The call only reads; the kernel's interface merely lacks a const.
        iovec remote{const_cast<std::uint8_t*>(from + done), to.size() - done};
        const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        // Refused (a seccomp filter, a kernel without the call) or stopped short: the rest is
        // copied the ordinary way.
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    if (done < to.size()) {
        std::memcpy(to.data() + done, from + done, to.size() - done);
    }
}

void PrefaultImage(std::span<const std::uint8_t> bytes) {
#if defined(MADV_POPULATE_READ)
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (bytes.empty() || page == 0) {
        return;
    }
    const auto first = reinterpret_cast<std::uintptr_t>(bytes.data()) / page * page;
    const auto end = reinterpret_cast<std::uintptr_t>(bytes.data() + bytes.size());
    // A private mapping of an image file is populated for reading only: MAP_POPULATE would fault
    // it for writing and copy every page.
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_READ);
#else
    (void)bytes;
#endif
}

}  // namespace kestrin
