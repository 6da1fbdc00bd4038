#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "make-image/ImageLayout.h"

namespace kestrin::image {

// The plan: folders and hard links, fixed before any record is written so that a folder's index
// can name children whose records come later.

enum class Layout : std::uint8_t { kOneRecord, kNamesOutside, kDataOutside, kAllOutside };

struct Traits {
    Layout layout = Layout::kOneRecord;
    bool deletedBefore = false;
    std::int32_t links = 0;
};

Traits TraitsOf(std::int32_t folder, std::int32_t file);

std::int64_t SlotsOf(const Traits& t);

// Most names fit anywhere; a record that holds many names must keep them short.
std::size_t PrimaryNameCap(Layout layout);
std::size_t LinkNameCap(Layout layout);

struct Folder {
    std::int64_t record = kRootRecord;
    std::int32_t parent = -1;
    std::int32_t depth = 0;
    std::int32_t files = 0;
    std::int64_t firstFileSlot = 0;
    std::size_t firstLink = 0;  // the hard links of its files, in file order
    std::u16string name;
    std::u16string dosName;
    std::uint8_t nameSpace = 1;
    std::vector<std::int32_t> subfolders;
    std::vector<std::uint32_t> linksIn;
};

struct Link {
    std::int32_t folder;
    std::int32_t file;
    std::int32_t target;
    std::u16string name;
};

struct RootFile {
    std::u16string_view name;
    std::int64_t size;
};
constexpr std::array<RootFile, 6> kRootFiles = {{{u"pagefile.sys", 8LL << 30},
                                                 {u"hiberfil.sys", 6LL << 30},
                                                 {u"swapfile.sys", 256LL << 20},
                                                 {u"bootmgr", 413738},
                                                 {u"BOOTNXT", 1},
                                                 {u"DumpStack.log.tmp", 8192}}};

struct Plan {
    std::vector<Folder> folders;
    std::vector<Link> links;
};

Plan MakePlan(std::int64_t records);

}  // namespace kestrin::image
