#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "scan/platform/Win32Handle.h"
#include "scan/source/VolumeSource.h"

namespace kestrin {

namespace {

// ReadFile counts in a DWORD, and on a raw volume a request too large to lock in memory fails
// with ERROR_NO_SYSTEM_RESOURCES, so large reads go out in pieces.
constexpr DWORD kMaxReadPiece = DWORD{64} << 20;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Read access only: a read-only device or image must still open, and a writable handle to a raw
// volume is a hazard for a program that never writes. Every share flag is given because the
// mounted file system keeps the volume open for writing.
FileHandle OpenForReading(const wchar_t* name) {
    return FileHandle(::CreateFileW(name, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The backup privilege lets an administrator's token read volumes whose ACLs would refuse it.
// Without it the open may still succeed, so every failure here is ignored.
void EnableBackupPrivilege() {
    TokenHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.Receive())) {
        return;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid)) {
        return;
    }
    ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

bool SeekTo(HANDLE handle, std::int64_t offset) {
    LARGE_INTEGER position{};
    position.QuadPart = offset;
    return offset >= 0 && ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) != 0;
}

// Fills the buffer from the current position; a call that fails or returns nothing means the
// volume ended or broke before the buffer was full.
bool ReadFully(HANDLE handle, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, kMaxReadPiece));
        DWORD got = 0;
        if (!::ReadFile(handle, buffer.data() + done, piece, &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

class Win32VolumeSource final : public VolumeSource {
public:
    explicit Win32VolumeSource(FileHandle handle) : handle_(std::move(handle)) {}

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        return SeekTo(handle_.Get(), offset) && ReadFully(handle_.Get(), buffer);
    }

    // Only an NTFS volume answers; an image file, or any volume under Wine, does not.
    bool QueryVolumeData(VolumeDataReply& reply) override {
        reply.fill(0);
        DWORD returned = 0;
        return ::DeviceIoControl(handle_.Get(), FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0,
                                 reply.data(), static_cast<DWORD>(reply.size()), &returned,
                                 nullptr) != 0;
    }

    // A file's size, or a disk's or volume's length, which GetFileSizeEx does not give.
    std::int64_t Size() override {
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(handle_.Get(), &size) && size.QuadPart > 0) {
            return size.QuadPart;
        }
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (::DeviceIoControl(handle_.Get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                              sizeof length, &returned, nullptr)) {
            return length.Length.QuadPart;
        }
        return -1;
    }

private:
    FileHandle handle_;
};

std::unique_ptr<VolumeSource> SourceFor(FileHandle handle) {
    if (!handle.Valid()) {
        return nullptr;
    }
    return std::make_unique<Win32VolumeSource>(std::move(handle));
}

}  // namespace

std::unique_ptr<VolumeSource> OpenDriveSource(std::wstring_view drive) {
    EnableBackupPrivilege();
    // "\\.\C:" names the volume itself; "\\.\C:\" would be its root directory.
    const std::wstring name = L"\\\\.\\" + std::wstring(drive) + L":";
    return SourceFor(OpenForReading(name.c_str()));
}

std::unique_ptr<VolumeSource> OpenPathSource(const std::filesystem::path& path) {
    return SourceFor(OpenForReading(path.c_str()));
}

}  // namespace kestrin
