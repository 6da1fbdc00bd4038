#include "tools/kestrin-scan/report/ShownPaths.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "scan/common/Utf16Text.h"
#include "scan/results/DirectoryTree.h"

namespace kestrin {

std::wstring ShownFolderPath(const ScanResult& result, std::int64_t record) {
    if (result.shownRoot.empty()) {
        return FolderPath(result.dirs, record, result.drive);
    }
    // Every folder of a cut result hangs below its root; the walk up stops there, or where a
    // damaged tree would lead it out or round.
    std::vector<const std::wstring*> names;
    std::unordered_set<std::int64_t> seen;
    for (auto found = result.dirs.find(record);
         found != result.dirs.end() && record != result.rootRecord && seen.insert(record).second;
         found = result.dirs.find(record)) {
        names.push_back(&found->second.name);
        record = found->second.treeParent;
    }
    std::wstring path = result.shownRoot;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!path.empty() && path.back() != result.pathSeparator) {
            path += result.pathSeparator;
        }
        path += **name;
    }
    return path;
}

std::wstring ShownFilePrefix(const ScanResult& result, std::wstring_view folderPath) {
    if (result.shownRoot.empty()) {
        return FilePath(folderPath, L"");
    }
    std::wstring prefix(folderPath);
    if (!prefix.empty() && prefix.back() != result.pathSeparator) {
        prefix += result.pathSeparator;
    }
    return prefix;
}

const std::string& Utf8FilePaths::Of(const FileRow& file) {
    // The rows of one folder share one text: its address tells the folder, where comparing the
    // texts read a whole path for every file.
    if (folderPath_ != &file.folderPath.str()) {
        folderPath_ = &file.folderPath.str();
        prefix_ = Utf8FromWide(ShownFilePrefix(result_, *folderPath_));
    }
    path_ = prefix_;
    file.name.AppendUtf8(path_);
    return path_;
}

std::wstring ShownFilePath(const ScanResult& result, const FileRow& file) {
    return ShownFilePrefix(result, file.folderPath.str()) + file.name.str();
}

}  // namespace kestrin
