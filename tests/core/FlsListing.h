#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrin::test {

// One record as The Sleuth Kit lists it (fls -r -l -u): every name it has, where, and the size
// of its unnamed $DATA. Names are UTF-8, as fls prints them.
struct FlsRecord {
    bool isDirectory = false;
    std::set<std::pair<std::int64_t, std::string>> names;  // (parent, name) for every link
    std::optional<std::int64_t> size;                      // of the unnamed $DATA
};

std::vector<std::string> SplitTabs(const std::string& line);

// The records of an fls listing by record number, without fls's own $OrphanFiles folder and
// without lines that name no file record.
std::map<std::int64_t, FlsRecord> ReadFls(const std::filesystem::path& path);

}  // namespace kestrin::test
