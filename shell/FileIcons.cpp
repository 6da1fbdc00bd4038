#include "shell/FileIcons.h"

#include <shellapi.h>

#include <string>
#include <unordered_map>

#include "shell/IconKey.h"

namespace kestrin {

namespace {

// Owns the icons it holds; destroyed with the process.
class IconCache {
public:
    IconCache() = default;
    IconCache(const IconCache&) = delete;
    IconCache& operator=(const IconCache&) = delete;
    ~IconCache() {
        for (auto& [key, icon] : icons_) {
            ::DestroyIcon(icon);
        }
    }

    HICON Find(const std::wstring& key) const {
        const auto found = icons_.find(key);
        return found != icons_.end() ? found->second : nullptr;
    }
    void Store(std::wstring key, HICON icon) { icons_.emplace(std::move(key), icon); }

private:
    std::unordered_map<std::wstring, HICON> icons_;
};

IconCache iconCache;

}  // namespace

HICON GetExtensionIcon(std::wstring_view extension) {
    std::wstring key = NormalizeExtension(extension);
    if (const HICON cached = iconCache.Find(key)) {
        return cached;
    }
    // With SHGFI_USEFILEATTRIBUTES the shell never looks for the file: the probe name only
    // carries the extension.
    const std::wstring probe = L"file" + key;
    SHFILEINFOW info{};
    const DWORD_PTR found =
        ::SHGetFileInfoW(probe.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                         SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    if (found == 0 || info.hIcon == nullptr) {
        return nullptr;
    }
    iconCache.Store(std::move(key), info.hIcon);
    return info.hIcon;
}

}  // namespace kestrin
