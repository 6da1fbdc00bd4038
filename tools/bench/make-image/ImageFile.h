#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "make-image/ImageLayout.h"

namespace kestrin::image {

class ImageFile {
public:
    explicit ImageFile(const char* path) : fd_(::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644)) {
        if (fd_ < 0) {
            throw std::runtime_error(std::string("cannot create ") + path);
        }
    }
    ~ImageFile() { ::close(fd_); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    void WriteAt(std::int64_t offset, const std::uint8_t* data, std::size_t length) {
        while (length > 0) {
            const ssize_t done = ::pwrite(fd_, data, length, static_cast<off_t>(offset));
            if (done <= 0) {
                throw std::runtime_error("write failed (disk full?)");
            }
            data += done;
            length -= static_cast<std::size_t>(done);
            offset += done;
            written_ += done;
        }
    }
    void WriteAt(std::int64_t offset, const Bytes& bytes) {
        WriteAt(offset, bytes.data(), bytes.size());
    }
    void SetSize(std::int64_t size) {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            throw std::runtime_error("cannot set the image size");
        }
    }
    std::int64_t Written() const { return written_; }

private:
    int fd_;
    std::int64_t written_ = 0;
};

}  // namespace kestrin::image
