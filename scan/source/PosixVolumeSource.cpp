#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <utility>

#include "scan/platform/MappedFiles.h"
#include "scan/platform/PosixFileDescriptor.h"
#include "scan/source/VolumeSource.h"

namespace kestrin {

namespace {

// Linux cuts one read short near 2 GiB and macOS rejects larger ones with EINVAL, so a single
// huge request is never sent as one call.
constexpr std::size_t kMaxReadPiece = std::size_t{64} << 20;

bool FitsInFileOffset(std::int64_t offset, std::size_t length) {
    if (offset < 0) {
        return false;
    }
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    return static_cast<std::uint64_t>(offset) <= kMaxOffset &&
           length <= kMaxOffset - static_cast<std::uint64_t>(offset);
}

// One pread, retried when a signal interrupts it; the byte count, or -1.
ssize_t ReadPiece(int fd, std::uint8_t* data, std::size_t length, std::int64_t offset) {
    ssize_t got;
    do {
        got = ::pread(fd, data, length, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

bool PageAligned(std::uint64_t value) {
    static const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    return page > 0 && value % page == 0;
}

// Only a regular file is mapped, and only where it lies wholly within the file: touching a
// mapped page past the end of a file raises SIGBUS instead of failing a read.
bool WithinRegularFile(int fd, std::int64_t offset, std::size_t length) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    return static_cast<std::uint64_t>(status.st_size) >= static_cast<std::uint64_t>(offset) &&
           length <=
               static_cast<std::uint64_t>(status.st_size) - static_cast<std::uint64_t>(offset);
}

// A failed MAP_FIXED may already have dropped the old pages: the range is made ordinary memory
// again, and a process that cannot even do that has no sound way on.
void RestoreAnonymous(void* place, std::size_t length) {
    if (::mmap(place, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
               0) == MAP_FAILED) {
        std::terminate();
    }
}

// Reads of a block device this large, and aligned to this many bytes in memory, on the device and
// in length (every logical block size there is), go round the device's page cache: the MFT,
// read a piece at a time, is needed once, and a read-only loop device over an image file, through
// its cache, reads a few hundred MB a second where its direct reads reach several GB.
constexpr std::size_t kDirectFrom = std::size_t{1} << 20;
constexpr std::uint64_t kDirectAlignment = 4096;

bool FitsDirectRead(std::int64_t offset, std::span<std::uint8_t> buffer) {
    return buffer.size() >= kDirectFrom &&
           reinterpret_cast<std::uintptr_t>(buffer.data()) % kDirectAlignment == 0 &&
           static_cast<std::uint64_t>(offset) % kDirectAlignment == 0 &&
           buffer.size() % kDirectAlignment == 0;
}

// Fills `buffer` from `fd`, a piece at a time; false when a read fails or the file or device
// ends first.
bool ReadWhole(int fd, std::int64_t offset, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::size_t piece = std::min(buffer.size() - done, kMaxReadPiece);
        const ssize_t got =
            ReadPiece(fd, buffer.data() + done, piece, offset + static_cast<std::int64_t>(done));
        // 0 is the end of the file or device: the volume is shorter than asked for.
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// The same device opened for reads that bypass its page cache; not valid for anything else.
FileDescriptor OpenDirect([[maybe_unused]] const std::filesystem::path& path,
                          [[maybe_unused]] int fd) {
#if defined(O_DIRECT)
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISBLK(status.st_mode)) {
        return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT));
    }
#endif
    return FileDescriptor(-1);
}

class PosixVolumeSource final : public VolumeSource {
public:
    PosixVolumeSource(FileDescriptor fd, FileDescriptor direct)
        : fd_(std::move(fd)), direct_(std::move(direct)) {}

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        if (!FitsInFileOffset(offset, buffer.size())) {
            return false;
        }
        // Whatever part of the buffer was a noted mapping holds what is read now instead.
        ForgetMappedFiles(buffer.data(), buffer.size());
        // A direct read the device refuses (a logical block larger than the alignment) or fails
        // is made again through the cache.
        if (direct_.Valid() && FitsDirectRead(offset, buffer) &&
            ReadWhole(direct_.Get(), offset, buffer)) {
            return true;
        }
        return ReadWhole(fd_.Get(), offset, buffer);
    }

    bool QueryVolumeData(VolumeDataReply&) override { return false; }

    // Seeking to the end gives a block device's capacity as well as a file's size.
    std::int64_t Size() override {
        const off_t end = ::lseek(fd_.Get(), 0, SEEK_END);
        return end < 0 ? -1 : static_cast<std::int64_t>(end);
    }

    // The image's pages in the page cache become the MFT buffer's pages: no copy, and no fresh
    // pages to clear. Private, so the scan never writes to the image.
    bool MapAt(std::int64_t offset, std::span<std::uint8_t> target) override {
        const auto address = reinterpret_cast<std::uintptr_t>(target.data());
        if (target.empty() || !FitsInFileOffset(offset, target.size()) || !PageAligned(address) ||
            !PageAligned(static_cast<std::uint64_t>(offset)) || !PageAligned(target.size()) ||
            !WithinRegularFile(fd_.Get(), offset, target.size())) {
            return false;
        }
        void* const mapped = ::mmap(target.data(), target.size(), PROT_READ | PROT_WRITE,
                                    MAP_PRIVATE | MAP_FIXED, fd_.Get(), static_cast<off_t>(offset));
        if (mapped == MAP_FAILED) {
            ForgetMappedFiles(target.data(), target.size());
            RestoreAnonymous(target.data(), target.size());
            return false;
        }
        NoteMappedFile(target.data(), target.size(), fd_.Get(), offset);
        return true;
    }

private:
    FileDescriptor fd_;
    FileDescriptor direct_;
};

}  // namespace

std::unique_ptr<VolumeSource> OpenDriveSource(std::wstring_view) {
    return nullptr;
}

std::unique_ptr<VolumeSource> OpenPathSource(const std::filesystem::path& path) {
    // Read-only: a write-protected image or block device must still open, and nothing here
    // ever writes to a volume.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return nullptr;
    }
    FileDescriptor direct = OpenDirect(path, fd.Get());
    return std::make_unique<PosixVolumeSource>(std::move(fd), std::move(direct));
}

}  // namespace kestrin
