#include <cstring>

#include "scan/platform/ImageCopy.h"

namespace kestrin {

void CopyImageBytes(const std::uint8_t* from, std::span<std::uint8_t> to) {
    if (!to.empty()) {
        std::memcpy(to.data(), from, to.size());
    }
}

}  // namespace kestrin
