#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>

#include "scan/platform/MappedFiles.h"
#include "scan/platform/PosixFileDescriptor.h"

namespace kestrin {

namespace {

struct MappedFile {
    std::size_t length = 0;
    FileDescriptor file;
    std::int64_t offset = 0;
};

// Every noted mapping, by start address. A scan notes a few (one per extent of the MFT) and
// looks them up once per batch of records; the lock is never held across a read.
struct MappedFiles {
    std::mutex lock;
    std::map<std::uintptr_t, MappedFile> byStart;
};

MappedFiles& Mappings() {
    static MappedFiles mappings;
    return mappings;
}

bool ReadWhole(int fd, std::span<std::uint8_t> to, std::int64_t offset) {
    std::size_t done = 0;
    while (done < to.size()) {
        const ssize_t got = ::pread(fd, to.data() + done, to.size() - done,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

void NoteMappedFile(const std::uint8_t* address, std::size_t length, int fd, std::int64_t offset) {
    ForgetMappedFiles(address, length);
    if (length == 0) {
        return;
    }
    FileDescriptor duplicate(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!duplicate.Valid()) {
        return;
    }
    MappedFiles& mappings = Mappings();
    const std::lock_guard<std::mutex> guard(mappings.lock);
    mappings.byStart[reinterpret_cast<std::uintptr_t>(address)] =
        MappedFile{length, std::move(duplicate), offset};
}

void ForgetMappedFiles(const std::uint8_t* address, std::size_t length) {
    const auto first = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t end = first + length;
    MappedFiles& mappings = Mappings();
    const std::lock_guard<std::mutex> guard(mappings.lock);
    auto it = mappings.byStart.upper_bound(first);
    if (it != mappings.byStart.begin()) {
        --it;  // the one starting at or before `address` may reach into the range
    }
    while (it != mappings.byStart.end() && it->first < end) {
        if (it->first + it->second.length > first) {
            it = mappings.byStart.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t ReadFromMappedFile(const std::uint8_t* from, std::span<std::uint8_t> to,
                               std::size_t& beyond) {
    beyond = to.size();
    const auto at = reinterpret_cast<std::uintptr_t>(from);
    int fd = -1;
    std::int64_t offset = 0;
    std::size_t count = 0;
    {
        MappedFiles& mappings = Mappings();
        const std::lock_guard<std::mutex> guard(mappings.lock);
        auto next = mappings.byStart.upper_bound(at);
        if (next != mappings.byStart.end()) {
            beyond = std::min(beyond, static_cast<std::size_t>(next->first - at));
        }
        if (next == mappings.byStart.begin()) {
            return 0;
        }
        const auto& [start, mapping] = *std::prev(next);
        const auto into = static_cast<std::size_t>(at - start);
        if (into >= mapping.length) {
            return 0;
        }
        fd = mapping.file.Get();
        offset = mapping.offset + static_cast<std::int64_t>(into);
        count = std::min(to.size(), mapping.length - into);
    }
    return ReadWhole(fd, to.first(count), offset) ? count : 0;
}

}  // namespace kestrin
