#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <system_error>

#include "scan/common/Utf16Text.h"
#include "tools/kestrin-scan/source/FolderSource.h"
#include "tools/kestrin-scan/source/MountInfo.h"

namespace kestrin {

namespace {

std::vector<std::wstring> NamesOf(const std::string& inside) {
    std::vector<std::wstring> names;
    std::size_t at = 0;
    while (at < inside.size()) {
        const std::size_t end = std::min(inside.find('/', at), inside.size());
        if (end > at) {
            names.push_back(WideFromUtf8(inside.substr(at, end - at)));
        }
        at = end + 1;
    }
    return names;
}

FolderSource Refused(std::string reason) {
    FolderSource source;
    source.reason = "原因: " + std::move(reason);
    return source;
}

}  // namespace

FolderSource LocateFolder(const std::filesystem::path& folder, const std::string& shown) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(folder, error);
    struct stat status {};
    if (error || ::stat(resolved.c_str(), &status) != 0) {
        return Refused("无法解析 " + shown + " 的路径。\n");
    }
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<MountEntry> mounts = ParseMountInfo(text);
    const MountEntry* mount = MountHolding(mounts, resolved.string());
    if (mount == nullptr) {
        return Refused(shown + " 是一个目录，但在 /proc/self/mountinfo 中找不到它所在的卷。\n");
    }
    const std::string where = "（挂载于 " + mount->mountPoint + "，来自 " + mount->source + "）";
    std::error_code sourceError;
    const auto sourceType = std::filesystem::status(mount->source, sourceError).type();
    const bool sourceIsVolume = sourceType == std::filesystem::file_type::block ||
                                sourceType == std::filesystem::file_type::regular;
    if (!MayBeNtfsMount(*mount) || !sourceIsVolume) {
        return Refused(shown + " 所在的卷是 " + mount->fsType + " 文件系统" + where +
                       "，只能扫描 NTFS 卷。\n");
    }
    FolderSource source;
    source.found = true;
    source.device = mount->source;
    source.deviceText = mount->source;
    source.record = static_cast<std::int64_t>(status.st_ino);
    source.names = NamesOf(PathInMount(*mount, resolved.string()));
    source.shownPath = WideFromUtf8(TrimmedFolderText(shown, '/'));
    source.separator = L'/';
    return source;
}

}  // namespace kestrin
