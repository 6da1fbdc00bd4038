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

// Splits RFC 4180 text into records of fields as it is read, handing each record to `take`:
// quoted fields may hold commas, doubled quotes and line breaks; records end in CR LF or LF. The
// text is read a megabyte at a time, and one record's fields are reused for the next, so an
// earlier scan of a million files is never held as text or as millions of strings. False when a
// quote is left open, or when `take` refuses a record.
template <typename Take>
bool SplitCsv(std::istream& in, Take&& take) {
    std::vector<std::string> fields(1);
    std::size_t used = 1;  // fields in use in the current record
    bool quoted = false;
    bool quoteSeen = false;  // a quote ended the last chunk: it may be the first of a pair
    bool crSeen = false;     // a CR ended the last chunk outside quotes
    const auto endRecord = [&]() {
        fields.resize(used);
        const bool accepted = take(fields);
        for (std::string& field : fields) {
            field.clear();
        }
        used = 1;
        return accepted;
    };
    std::vector<char> chunk(std::size_t{1} << 20);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            const char c = chunk[i];
            if (quoteSeen) {
                quoteSeen = false;
                if (c == '"') {
                    fields[used - 1] += '"';
                    continue;
                }
                quoted = false;
            }
            if (crSeen) {
                crSeen = false;
                if (c == '\n') {
                    if (!endRecord()) {
                        return false;
                    }
                    continue;
                }
                fields[used - 1] += '\r';
            }
            if (quoted) {
                if (c == '"') {
                    quoteSeen = true;
                } else {
                    fields[used - 1] += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                if (used == fields.size()) {
                    fields.emplace_back();
                }
                ++used;
            } else if (c == '\n') {
                if (!endRecord()) {
                    return false;
                }
            } else if (c == '\r') {
                crSeen = true;
            } else {
                fields[used - 1] += c;
            }
        }
    }
    if (quoteSeen) {
        quoted = false;
    }
    if (crSeen) {
        fields[used - 1] += '\r';
    }
    if (used > 1 || !fields.front().empty()) {
        fields.resize(used);
        if (!take(fields)) {
            return false;
        }
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
    EarlierScan scan;
    std::size_t line = 0;
    bool rowFailed = false;
    const bool split = SplitCsv(in, [&](const std::vector<std::string>& row) {
        if (line++ == 0) {
            std::string header;
            for (const std::string& field : row) {
                header += (header.empty() ? "" : ",") + field;
            }
            if (header != kCsvHeader) {
                why = "第一行不是 kestrin-scan --csv 写的表头（" + std::string(kCsvHeader) + "）";
                rowFailed = true;
            }
            return !rowFailed;
        }
        EarlierScan::File sizes;
        const bool sound = row.size() == 9 && !row[0].empty() &&
                           (row[1] == "folder" || row[1] == "file") &&
                           ParseNumber(row[2], sizes.size) && ParseNumber(row[3], sizes.allocated);
        if (!sound) {
            why = "第 " + std::to_string(line) + " 行不是带路径和两个大小的文件夹行或文件行";
            rowFailed = true;
            return false;
        }
        if (row[1] == "folder") {
            scan.folders[row[0]] = sizes.allocated;
        } else {
            scan.files[row[0]] = sizes;
        }
        return true;
    });
    if (line == 0 && split) {
        why = "第一行不是 kestrin-scan --csv 写的表头（" + std::string(kCsvHeader) + "）";
        return std::nullopt;
    }
    if (!split && !rowFailed) {
        why = "有一个引号字段没有结束";
    }
    if (!split) {
        return std::nullopt;
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
