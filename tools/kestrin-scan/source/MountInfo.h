#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// One line of Linux's /proc/self/mountinfo: what is mounted where. Texts are as the kernel
// keeps them, escapes undone.
struct MountEntry {
    std::string root;        // the folder of the mounted file system that the mount shows
    std::string mountPoint;  // where it shows
    std::string fsType;      // "ntfs3", "fuseblk", "ext4", ...
    std::string source;      // the device or image file, as the mount was given it
};

// The entries of mountinfo text, in its order; lines that do not have the fields are passed over.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mount that holds the absolute, resolved `path`: the one whose mount point is the longest
// folder prefix of it, the later of equals (a mount over another hides it). Null when none does.
const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path);

// The path of `path` inside the mounted file system: the mount's root joined with what follows
// the mount point, "/" for the root itself.
std::string PathInMount(const MountEntry& mount, std::string_view path);

// True for the file-system types an NTFS volume is mounted as: the kernel's ntfs3 and ntfs, and
// ntfs-3g through FUSE (fuseblk for a device, fuse for an image file).
bool MayBeNtfsMount(const MountEntry& mount);

}  // namespace kestrin
