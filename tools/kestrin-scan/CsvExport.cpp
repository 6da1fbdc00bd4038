#include "tools/kestrin-scan/CsvExport.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/results/DirectoryTree.h"
#include "tools/kestrin-scan/BufferedOutput.h"
#include "tools/kestrin-scan/ShownPaths.h"

namespace kestrin {

namespace {

class CsvWriter {
public:
    explicit CsvWriter(std::FILE* out) : out_(out) {}

    void Row(const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) {
                out_.Append(',');
            }
            out_.Append(CsvField(fields[i]));
        }
        out_.Append("\r\n");
    }
    bool Flush() { return out_.Flush(); }

private:
    BufferedOutput out_;
};

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

void FolderRow(CsvWriter& csv, const ScanResult& result, const DirNode& node) {
    csv.Row({Utf8FromWide(ShownFolderPath(result, node.recordNumber)), "folder",
             Number(node.totalSize), Number(node.totalAllocated), Number(node.totalFiles),
             Number(node.subdirCount), Utf8FromWide(FormatFileTime(node.time)),
             Utf8FromWide(FormatAttributes(node.attributes)), Number(node.recordNumber)});
}

// Largest first, then by record number, so that the same volume always gives the same file.
std::vector<const FileRow*> SortedFiles(const ScanResult& result, std::int64_t folder) {
    std::vector<const FileRow*> files;
    const auto found = result.dirFiles.find(folder);
    if (found != result.dirFiles.end()) {
        for (const FileRow& file : found->second) {
            files.push_back(&file);
        }
    }
    std::sort(files.begin(), files.end(), [](const FileRow* a, const FileRow* b) {
        return a->size != b->size ? a->size > b->size : a->recordNumber < b->recordNumber;
    });
    return files;
}

void FileRows(CsvWriter& csv, const ScanResult& result, std::int64_t folder) {
    for (const FileRow* file : SortedFiles(result, folder)) {
        csv.Row({Utf8FromWide(ShownFilePath(result, *file)), "file", Number(file->size),
                 Number(file->allocated), "", "", Utf8FromWide(FormatFileTime(file->time)),
                 Utf8FromWide(FormatAttributes(file->attributes)), Number(file->recordNumber)});
    }
}

std::vector<std::int64_t> SortedChildren(const ScanResult& result, const DirNode& node) {
    std::vector<std::int64_t> children = node.children;
    std::sort(children.begin(), children.end(), [&](std::int64_t a, std::int64_t b) {
        const std::int64_t sizeA = result.dirs.at(a).totalSize;
        const std::int64_t sizeB = result.dirs.at(b).totalSize;
        return sizeA != sizeB ? sizeA > sizeB : a < b;
    });
    return children;
}

void WriteFolder(CsvWriter& csv, const ScanResult& result, std::int64_t record) {
    const DirNode& node = result.dirs.at(record);
    FolderRow(csv, result, node);
    FileRows(csv, result, record);
}

}  // namespace

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

bool WriteCsv(const ScanResult& result, std::FILE* out) {
    CsvWriter csv(out);
    csv.Row({"Path", "Type", "Size", "Allocated", "Files", "Folders", "Modified", "Attributes",
             "Record"});
    std::unordered_set<std::int64_t> written;
    // Depth-first with an explicit stack: folder trees can be deeper than the call stack.
    std::vector<std::int64_t> stack;
    if (result.dirs.count(result.rootRecord) != 0) {
        stack.push_back(result.rootRecord);
    }
    while (!stack.empty()) {
        const std::int64_t record = stack.back();
        stack.pop_back();
        if (!written.insert(record).second) {
            continue;
        }
        WriteFolder(csv, result, record);
        const std::vector<std::int64_t> children = SortedChildren(result, result.dirs.at(record));
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    std::vector<std::int64_t> unreachable;
    for (const auto& [record, node] : result.dirs) {
        if (written.count(record) == 0) {
            unreachable.push_back(record);
        }
    }
    std::sort(unreachable.begin(), unreachable.end());
    for (const std::int64_t record : unreachable) {
        WriteFolder(csv, result, record);
    }
    return csv.Flush();
}

}  // namespace kestrin
