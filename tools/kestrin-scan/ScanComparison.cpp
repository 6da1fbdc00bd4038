#include "tools/kestrin-scan/ScanComparison.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <vector>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"
#include "scan/results/DirectoryTree.h"
#include "tools/kestrin-scan/ShownPaths.h"
#include "tools/kestrin-scan/TextTable.h"

namespace kestrin {

namespace {

constexpr std::size_t kTopRows = 20;
constexpr const char* kCsvHeader =
    "Path,Type,Size,Allocated,Files,Folders,Modified,Attributes,Record";

// Splits RFC 4180 text into records of fields: quoted fields may hold commas, doubled quotes and
// line breaks; records end in CR LF or LF. False when a quote is left open.
bool SplitCsv(const std::string& text, std::vector<std::vector<std::string>>& records) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            i += c == '\r' ? 1 : 0;
            records.push_back(std::move(fields));
            fields.assign(1, std::string());
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() > 1 || !fields.front().empty()) {
        records.push_back(std::move(fields));
    }
    return !quoted;
}

bool ParseNumber(const std::string& text, std::int64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::wstring SignedChange(std::int64_t change) {
    return (change < 0 ? L"-" : L"+") + FormatSize(change < 0 ? -change : change);
}

struct FolderChange {
    std::string path;
    std::int64_t now = 0;
    std::int64_t then = 0;
    std::int64_t Change() const { return now - then; }
};

std::string FolderTable(std::vector<FolderChange> changes) {
    const auto magnitude = [](const FolderChange& c) {
        return c.Change() < 0 ? -c.Change() : c.Change();
    };
    std::sort(changes.begin(), changes.end(), [&](const FolderChange& a, const FolderChange& b) {
        return magnitude(a) != magnitude(b) ? magnitude(a) > magnitude(b) : a.path < b.path;
    });
    if (changes.empty()) {
        return "（无）\n";
    }
    TextTable table({L"变化", L"现在分配", L"上次分配", L"路径"});
    for (std::size_t i = 0; i < std::min(kTopRows, changes.size()); ++i) {
        const FolderChange& c = changes[i];
        table.Add({SignedChange(c.Change()), FormatSize(c.now), FormatSize(c.then),
                   WideFromUtf8(c.path)});
    }
    return table.Text();
}

struct ListedFile {
    std::string path;
    EarlierScan::File sizes;
};

std::string FileTable(std::vector<ListedFile> files) {
    const auto larger = [](const ListedFile& a, const ListedFile& b) {
        return a.sizes.size != b.sizes.size ? a.sizes.size > b.sizes.size : a.path < b.path;
    };
    const std::size_t rows = std::min(kTopRows, files.size());
    std::partial_sort(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(rows), files.end(),
                      larger);
    if (rows == 0) {
        return "（无）\n";
    }
    TextTable table({L"大小", L"分配", L"路径"});
    for (std::size_t i = 0; i < rows; ++i) {
        table.Add({FormatSize(files[i].sizes.size), FormatSize(files[i].sizes.allocated),
                   WideFromUtf8(files[i].path)});
    }
    return table.Text();
}

// The scan as the CSV would hold it.
EarlierScan AsListed(const ScanResult& result) {
    EarlierScan listed;
    for (const auto& [record, folder] : result.dirs) {
        listed.folders[Utf8FromWide(ShownFolderPath(result, record))] = folder.totalAllocated;
    }
    for (const auto& [record, rows] : result.dirFiles) {
        for (const FileRow& row : rows) {
            listed.files[Utf8FromWide(ShownFilePath(result, row))] = {row.size, row.allocated};
        }
    }
    return listed;
}

}  // namespace

std::optional<EarlierScan> ReadEarlierScan(std::istream& in, std::string& why) {
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<std::string>> records;
    if (!SplitCsv(text, records)) {
        why = "有一个引号字段没有结束";
        return std::nullopt;
    }
    std::string header;
    for (const std::string& field : records.empty() ? std::vector<std::string>{} : records[0]) {
        header += (header.empty() ? "" : ",") + field;
    }
    if (header != kCsvHeader) {
        why = "第一行不是 kestrin-scan --csv 写的表头（" + std::string(kCsvHeader) + "）";
        return std::nullopt;
    }
    EarlierScan scan;
    for (std::size_t line = 1; line < records.size(); ++line) {
        const std::vector<std::string>& row = records[line];
        EarlierScan::File sizes;
        const bool sound = row.size() == 9 && !row[0].empty() &&
                           (row[1] == "folder" || row[1] == "file") &&
                           ParseNumber(row[2], sizes.size) && ParseNumber(row[3], sizes.allocated);
        if (!sound) {
            why = "第 " + std::to_string(line + 1) + " 行不是带路径和两个大小的文件夹行或文件行";
            return std::nullopt;
        }
        if (row[1] == "folder") {
            scan.folders[row[0]] = sizes.allocated;
        } else {
            scan.files[row[0]] = sizes;
        }
    }
    return scan;
}

std::string ComparisonText(const ScanResult& now, const EarlierScan& then) {
    const EarlierScan listed = AsListed(now);
    std::vector<FolderChange> folders;
    for (const auto& [path, allocated] : listed.folders) {
        const auto earlier = then.folders.find(path);
        const std::int64_t before = earlier == then.folders.end() ? 0 : earlier->second;
        if (allocated != before) {
            folders.push_back({path, allocated, before});
        }
    }
    for (const auto& [path, allocated] : then.folders) {
        if (listed.folders.count(path) == 0 && allocated != 0) {
            folders.push_back({path, 0, allocated});
        }
    }
    std::vector<ListedFile> added;
    for (const auto& [path, sizes] : listed.files) {
        if (then.files.count(path) == 0) {
            added.push_back({path, sizes});
        }
    }
    std::vector<ListedFile> gone;
    for (const auto& [path, sizes] : then.files) {
        if (listed.files.count(path) == 0) {
            gone.push_back({path, sizes});
        }
    }
    std::string text = "\n与上次扫描比较\n";
    text += "分配变化最大的 20 个文件夹\n" + FolderTable(std::move(folders));
    text += "\n新增的最大 20 个文件\n" + FileTable(std::move(added));
    text += "\n消失的最大 20 个文件\n" + FileTable(std::move(gone));
    return text;
}

}  // namespace kestrin
