#include "tools/kestrin-scan/exports/CsvExport.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/results/DirectoryTree.h"
#include "tools/kestrin-scan/exports/BufferedOutput.h"
#include "tools/kestrin-scan/report/ShownPaths.h"

namespace kestrin {

bool CsvFileOrder(CsvFileKey a, CsvFileKey b) {
    return a.size != b.size ? a.size > b.size : a.record < b.record;
}

namespace {

// Whether a field must be quoted: it holds a comma, a quote or a line break. One pass over the
// bytes; a search for any of four characters tried each of them at every byte.
bool NeedsQuotes(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
}

// Rows written field by field straight into the output: a million files, nine fields each, cost
// no string of their own.
class CsvWriter {
public:
    explicit CsvWriter(std::FILE* out) : out_(out) {}

    CsvWriter& Field(std::string_view text) {
        Separate();
        if (!NeedsQuotes(text)) {
            out_.Append(text);
            return *this;
        }
        out_.Append('"');
        for (const char c : text) {
            if (c == '"') {
                out_.Append('"');
            }
            out_.Append(c);
        }
        out_.Append('"');
        return *this;
    }
    CsvWriter& Number(std::int64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        return Field(std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    // Texts of digits, separators and letters only: times and attribute letters.
    CsvWriter& Ascii(std::wstring_view text) {
        narrow_.assign(text.size(), '\0');
        std::transform(text.begin(), text.end(), narrow_.begin(),
                       [](wchar_t c) { return static_cast<char>(c); });
        return Field(narrow_);
    }
    void EndRow() {
        out_.Append("\r\n");
        first_ = true;
    }
    bool Flush() { return out_.Flush(); }

private:
    void Separate() {
        if (!first_) {
            out_.Append(',');
        }
        first_ = false;
    }

    BufferedOutput out_;
    bool first_ = true;
    std::string narrow_;
};

void FolderRow(CsvWriter& csv, const ScanResult& result, const DirNode& node) {
    csv.Field(Utf8FromWide(ShownFolderPath(result, node.recordNumber)))
        .Field("folder")
        .Number(node.totalSize)
        .Number(node.totalAllocated)
        .Number(node.totalFiles)
        .Number(node.subdirCount)
        .Ascii(FormatFileTime(node.time))
        .Ascii(FormatAttributes(node.attributes))
        .Number(node.recordNumber)
        .EndRow();
}

std::vector<const FileRow*> SortedFiles(const ScanResult& result, std::int64_t folder) {
    std::vector<const FileRow*> files;
    const auto found = result.dirFiles.find(folder);
    if (found != result.dirFiles.end()) {
        for (const FileRow& file : found->second) {
            files.push_back(&file);
        }
    }
    std::sort(files.begin(), files.end(), [](const FileRow* a, const FileRow* b) {
        return CsvFileOrder({a->size, a->recordNumber}, {b->size, b->recordNumber});
    });
    return files;
}

void FileRows(CsvWriter& csv, const ScanResult& result, std::int64_t folder) {
    Utf8FilePaths paths(result);
    for (const FileRow* file : SortedFiles(result, folder)) {
        csv.Field(paths.Of(*file))
            .Field("file")
            .Number(file->size)
            .Number(file->allocated)
            .Field("")
            .Field("")
            .Ascii(FormatFileTime(file->time))
            .Ascii(FormatAttributes(file->attributes))
            .Number(file->recordNumber)
            .EndRow();
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
    if (!NeedsQuotes(text)) {
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
    for (const char* name : {"Path", "Type", "Size", "Allocated", "Files", "Folders", "Modified",
                             "Attributes", "Record"}) {
        csv.Field(name);
    }
    csv.EndRow();
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
