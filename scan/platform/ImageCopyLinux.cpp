#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "scan/platform/ImageCopy.h"
#include "scan/platform/MappedFiles.h"

namespace kestrin {

namespace {

// The kernel reaches the pages through its own mapping, so no page is touched from user space
// (see ImageCopy.h).
void CopyThroughKernel(const std::uint8_t* from, std::span<std::uint8_t> to) {
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

}  // namespace

void CopyImageBytes(const std::uint8_t* from, std::span<std::uint8_t> to) {
    std::size_t done = 0;
    while (done < to.size()) {
        std::size_t unmapped = 0;
        std::size_t step = ReadFromMappedFile(from + done, to.subspan(done), unmapped);
        if (step == 0) {
            step = std::max<std::size_t>(unmapped, 1);  // never 0, so the loop always moves on
            CopyThroughKernel(from + done, to.subspan(done, step));
        }
        done += step;
    }
}

}  // namespace kestrin
