#include "tools/kestrin-scan/source/MountInfo.h"

#include <algorithm>

namespace kestrin {

namespace {

// The kernel writes space, tab, newline and backslash in paths as \ and three octal digits.
std::string Unescape(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            text += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

// ID, parent ID, major:minor, root, mount point, options, optional fields up to "-", then the
// type, the source and the file system's options.
bool ParseLine(std::string_view line, MountEntry& entry) {
    const std::vector<std::string_view> fields = Fields(line);
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") {
        ++separator;
    }
    if (fields.size() < 6 || separator + 2 >= fields.size()) {
        return false;
    }
    entry.root = Unescape(fields[3]);
    entry.mountPoint = Unescape(fields[4]);
    entry.fsType = Unescape(fields[separator + 1]);
    entry.source = Unescape(fields[separator + 2]);
    return true;
}

// True when `prefix` is `path` or a folder above it.
bool IsFolderPrefix(std::string_view prefix, std::string_view path) {
    if (prefix == "/") {
        return !path.empty() && path.front() == '/';
    }
    return path.substr(0, prefix.size()) == prefix &&
           (path.size() == prefix.size() || path[prefix.size()] == '/');
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        MountEntry entry;
        if (ParseLine(text.substr(0, end), entry)) {
            mounts.push_back(std::move(entry));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return mounts;
}

const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path) {
    const MountEntry* holding = nullptr;
    for (const MountEntry& mount : mounts) {
        if (IsFolderPrefix(mount.mountPoint, path) &&
            (holding == nullptr || mount.mountPoint.size() >= holding->mountPoint.size())) {
            holding = &mount;
        }
    }
    return holding;
}

std::string PathInMount(const MountEntry& mount, std::string_view path) {
    std::string_view rest = mount.mountPoint == "/" ? path : path.substr(mount.mountPoint.size());
    while (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    std::string inside = mount.root.empty() ? "/" : mount.root;
    if (!rest.empty()) {
        if (inside.back() != '/') {
            inside += '/';
        }
        inside += rest;
    }
    return inside;
}

bool MayBeNtfsMount(const MountEntry& mount) {
    return mount.fsType == "ntfs3" || mount.fsType == "ntfs" || mount.fsType == "fuseblk" ||
           mount.fsType == "fuse" || mount.fsType == "fuse.ntfs-3g" || mount.fsType == "ntfs-3g";
}

}  // namespace kestrin
