#pragma once

#include <unistd.h>

#include <utility>

namespace kestrin {

// Sole owner of one POSIX file descriptor; -1 means none (0 is a valid descriptor).
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }

    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, kInvalid)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, kInvalid);
        }
        return *this;
    }

    bool Valid() const { return fd_ != kInvalid; }
    int Get() const { return fd_; }

private:
    static constexpr int kInvalid = -1;

    void Reset() {
        if (Valid()) {
            // No retry on EINTR: on Linux the descriptor is already released, and closing it
            // again could close one another thread has just been given.
            ::close(fd_);
            fd_ = kInvalid;
        }
    }

    int fd_ = kInvalid;
};

}  // namespace kestrin
