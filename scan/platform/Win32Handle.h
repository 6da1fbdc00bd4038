#pragma once

#include <windows.h>

#include <utility>

namespace kestrin {

// Sole owner of one Win32 kernel handle. The functions that hand out handles disagree on what
// "no handle" is (CreateFileW gives INVALID_HANDLE_VALUE, OpenProcessToken leaves NULL), so
// each kind names its own invalid value and the two cannot be mixed up.
template <typename Kind>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Kind::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, Kind::Invalid());
        }
        return *this;
    }

    bool Valid() const { return handle_ != Kind::Invalid(); }
    HANDLE Get() const { return handle_; }
    // For out-parameters such as OpenProcessToken's; releases any handle held first.
    HANDLE* Receive() {
        Reset();
        return &handle_;
    }

private:
    void Reset() {
        if (Valid()) {
            ::CloseHandle(handle_);
            handle_ = Kind::Invalid();
        }
    }

    HANDLE handle_ = Kind::Invalid();
};

struct FileHandleKind {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};
struct TokenHandleKind {
    static HANDLE Invalid() { return nullptr; }
};
struct MutexHandleKind {
    static HANDLE Invalid() { return nullptr; }
};

// A file, volume or device handle from CreateFileW.
using FileHandle = UniqueHandle<FileHandleKind>;
// An access token from OpenProcessToken.
using TokenHandle = UniqueHandle<TokenHandleKind>;
// A named mutex from CreateMutexW.
using MutexHandle = UniqueHandle<MutexHandleKind>;

}  // namespace kestrin
