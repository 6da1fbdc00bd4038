#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kestrin {

// Text for a file, gathered a megabyte at a time: one write per megabyte, where a million rows
// written one by one cost a call each. Remembers a failed write.
class BufferedOutput {
public:
    explicit BufferedOutput(std::FILE* out) : out_(out) {}
    BufferedOutput(const BufferedOutput&) = delete;
    BufferedOutput& operator=(const BufferedOutput&) = delete;
    ~BufferedOutput() { Flush(); }

    void Append(std::string_view text) {
        buffer_ += text;
        if (buffer_.size() >= (1 << 20)) {
            Flush();
        }
    }
    void Append(char c) { Append(std::string_view(&c, 1)); }
    // False when any write so far failed.
    bool Flush() {
        if (!buffer_.empty() &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
            failed_ = true;
        }
        buffer_.clear();
        return !failed_;
    }

private:
    std::FILE* out_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace kestrin
