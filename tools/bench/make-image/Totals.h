#pragma once

#include <array>
#include <cstdint>

namespace kestrin::image {

struct Totals {
    std::int64_t files = 0;  // as the scanner counts them: base records with a name
    std::int64_t folders = 0;
    std::int64_t bytes = 0;
    std::int64_t extensionRecords = 0;
    std::int64_t deleted = 0;
    std::int64_t freeRecords = 0;
    std::int64_t linkNames = 0;
    std::int64_t dosNames = 0;
    std::int64_t posixNames = 0;
    std::int64_t foreignNames = 0;
    std::int64_t resident = 0;
    std::int64_t sparse = 0;
    std::int64_t compressed = 0;
    std::int64_t fragmented = 0;
    std::int64_t zoneStreams = 0;
    std::int64_t gigabyteFiles = 0;
    std::int64_t largest = 0;
    std::int64_t namesOutside = 0;
    std::int64_t dataOutside = 0;
    std::int64_t allOutside = 0;
    std::int64_t indexBlocks = 0;
    std::int64_t largeIndexes = 0;
    std::int64_t listedNames = 0;   // names in folder indexes, 8.3 names left out
    std::int64_t namedStreams = 0;  // listed by fls as NAME:STREAM
    std::array<std::int64_t, 13> depths{};
};

}  // namespace kestrin::image
