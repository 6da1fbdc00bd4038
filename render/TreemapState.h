#pragma once

#include <cstdint>

namespace kestrin {

// Which folder the treemap shows, and whether it shows that folder's files one by one instead
// of its subfolders. A new scan result resets it to the root in folder mode.
struct TreemapState {
    std::int64_t treemapDirectory = 5;
    bool treemapShowsFiles = false;
};

}  // namespace kestrin
