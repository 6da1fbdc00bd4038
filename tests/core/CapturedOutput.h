#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace kestrin::test {

// What `write` puts on a stream, read back from a temporary file.
inline std::string CaptureOutput(const std::function<void(std::FILE*)>& write) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        return std::string();
    }
    write(file);
    std::rewind(file);
    std::string text;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(file);
    return text;
}

}  // namespace kestrin::test
