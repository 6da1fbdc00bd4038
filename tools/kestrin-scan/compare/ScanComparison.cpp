#include "tools/kestrin-scan/compare/ScanComparison.h"

#include <algorithm>
#include <iterator>
#include <thread>
#include <unordered_map>
#include <vector>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"
#include "scan/platform/ParallelForEach.h"
#include "scan/results/DirectoryTree.h"
#include "tools/kestrin-scan/exports/CsvExport.h"
#include "tools/kestrin-scan/report/ShownPaths.h"
#include "tools/kestrin-scan/report/TextTable.h"

namespace kestrin {

namespace {

constexpr std::size_t kTopRows = 20;
std::wstring SignedChange(std::int64_t change) {
    return (change < 0 ? L"-" : L"+") + FormatSize(change < 0 ? -change : change);
}

struct FolderChange {
    std::string path;
    std::int64_t now = 0;
    std::int64_t then = 0;
    std::int64_t Change() const { return now - then; }
};

std::string ChangedFoldersTable(std::vector<FolderChange> changes) {
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
    std::int64_t size = 0;
    std::int64_t allocated = 0;
};

bool Larger(const ListedFile& a, const ListedFile& b) {
    return a.size != b.size ? a.size > b.size : a.path < b.path;
}

// The 20 largest of the files offered, the smaller path first among equal sizes. Files are kept
// until twice that many have gathered and then trimmed, so that a million files offered keep a
// few dozen paths, not a million.
class LargestListed {
public:
    // Whether a file of this size could still be among them; the path is made only then.
    bool Wants(std::int64_t size) const { return !trimmed_ || size >= floor_; }
    void Offer(ListedFile file) {
        files_.push_back(std::move(file));
        if (files_.size() >= 2 * kTopRows) {
            Trim();
        }
    }
    std::vector<ListedFile> Take() {
        Trim();
        return std::move(files_);
    }

private:
    void Trim() {
        const std::size_t rows = std::min(kTopRows, files_.size());
        std::partial_sort(files_.begin(), files_.begin() + static_cast<std::ptrdiff_t>(rows),
                          files_.end(), Larger);
        files_.resize(rows);
        if (rows == kTopRows) {
            trimmed_ = true;
            floor_ = files_.back().size;
        }
    }

    std::vector<ListedFile> files_;
    bool trimmed_ = false;
    std::int64_t floor_ = 0;
};

std::string FileTable(std::vector<ListedFile> files) {
    std::sort(files.begin(), files.end(), Larger);
    if (files.empty()) {
        return "（无）\n";
    }
    TextTable table({L"大小", L"分配", L"路径"});
    for (std::size_t i = 0; i < std::min(kTopRows, files.size()); ++i) {
        table.Add({FormatSize(files[i].size), FormatSize(files[i].allocated),
                   WideFromUtf8(files[i].path)});
    }
    return table.Text();
}

// Which rows of the earlier scan the scan holds too, by path and type.
using Matches = std::vector<bool>;

// By folder record: the earlier scan's row for the folder, where it has one.
using FolderRows = std::unordered_map<std::int64_t, std::size_t>;

// Folders by path, as the CSV lists them: their allocated size now and then. The rows found are
// noted in `rows`.
std::vector<FolderChange> FolderChanges(const ScanResult& now, const EarlierScan& then,
                                        Matches& matched, FolderRows& rows) {
    std::vector<FolderChange> changes;
    for (const auto& [record, folder] : now.dirs) {
        std::string path = Utf8FromWide(ShownFolderPath(now, record));
        std::int64_t before = 0;
        if (const EarlierScan::Row* row = then.Find(path, true)) {
            before = row->allocated;
            matched[then.IndexOf(*row)] = true;
            rows.emplace(record, then.IndexOf(*row));
        }
        if (folder.totalAllocated != before) {
            changes.push_back({std::move(path), folder.totalAllocated, before});
        }
    }
    return changes;
}

// A file of the scan whose path waits to be looked up.
struct PendingFile {
    std::string path;
    std::uint64_t hash = 0;
    std::int64_t size = 0;
    std::int64_t allocated = 0;
};

// A folder's files as the CSV lists them, and where the earlier scan's row for the next one is
// looked for first: none where the earlier scan has no row for the folder.
struct FilesInCsvOrder {
    static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);
    struct File {
        CsvFileKey key;
        const FileRow* row = nullptr;
    };
    std::vector<File> files;
    std::size_t next = kNowhere;
};

void StartFolder(const FolderRows& folderRows, std::int64_t record,
                 const std::vector<FileRow>& rows, FilesInCsvOrder& order) {
    // Sorted by copies of their keys: comparing the rows themselves reached into each for both.
    order.files.clear();
    for (const FileRow& row : rows) {
        order.files.push_back({{row.size, row.recordNumber}, &row});
    }
    using File = FilesInCsvOrder::File;
    std::sort(order.files.begin(), order.files.end(),
              [](const File& a, const File& b) { return CsvFileOrder(a.key, b.key); });
    const auto folder = folderRows.find(record);
    order.next = folder != folderRows.end() ? folder->second + 1 : FilesInCsvOrder::kNowhere;
}

// The earlier scan's row of the file at `path` where the CSV order leads: at the next row, or the
// one after (a file that went, or grew past another); null when neither holds it.
const EarlierScan::Row* InOrder(const EarlierScan& then, FilesInCsvOrder& order,
                                std::string_view path) {
    if (order.next == FilesInCsvOrder::kNowhere) {
        return nullptr;
    }
    for (const std::size_t at : {order.next, order.next + 1}) {
        if (const EarlierScan::Row* row = then.FileAt(at, path)) {
            order.next = at + 1;
            return row;
        }
    }
    return nullptr;
}

using FolderFiles = std::pair<const std::int64_t, std::vector<FileRow>>;

// Files of the scan the earlier one lacks, among the folders in [first, last); the earlier scan's
// files the scan holds are marked in `matched`. A file's path is made as the CSV writes it. A
// file the CSV order does not lead to is looked up some files after its slot was asked for, so
// that the waits for memory overlap.
std::vector<ListedFile> AddedFiles(const ScanResult& now, const EarlierScan& then,
                                   const FolderRows& folderRows,
                                   const std::vector<const FolderFiles*>& folders,
                                   std::size_t first, std::size_t last, Matches& matched) {
    constexpr std::size_t kAhead = 16;
    LargestListed added;
    std::vector<PendingFile> pending(kAhead);
    std::size_t made = 0;
    const auto lookUp = [&](const PendingFile& file) {
        if (const EarlierScan::Row* earlier = then.Find(file.path, file.hash, false)) {
            matched[then.IndexOf(*earlier)] = true;
        } else if (added.Wants(file.size)) {
            added.Offer({file.path, file.size, file.allocated});
        }
    };
    Utf8FilePaths paths(now);
    FilesInCsvOrder order;
    for (std::size_t folder = first; folder < last; ++folder) {
        StartFolder(folderRows, folders[folder]->first, folders[folder]->second, order);
        // The CSV order is by size, not the order the names lie in memory: each name is asked
        // for some files before its path is made.
        constexpr std::size_t kNamesAhead = 8;
        for (std::size_t i = 0; i < std::min(kNamesAhead, order.files.size()); ++i) {
            order.files[i].row->name.Prefetch();
        }
        for (std::size_t i = 0; i < order.files.size(); ++i) {
            if (i + kNamesAhead < order.files.size()) {
                order.files[i + kNamesAhead].row->name.Prefetch();
            }
            const FilesInCsvOrder::File& listed = order.files[i];
            const FileRow* row = listed.row;
            const std::string& path = paths.Of(*row);
            if (const EarlierScan::Row* earlier = InOrder(then, order, path)) {
                matched[then.IndexOf(*earlier)] = true;
                continue;
            }
            PendingFile& file = pending[made % kAhead];
            if (made >= kAhead) {
                lookUp(file);
            }
            file.path = path;
            file.hash = PathHash(file.path);
            file.size = row->size;
            file.allocated = row->allocated;
            then.Prefetch(file.hash);
            ++made;
        }
    }
    for (std::size_t i = made > kAhead ? made - kAhead : 0; i < made; ++i) {
        lookUp(pending[i % kAhead]);
    }
    return added.Take();
}

// The same over every file of the scan, the folders' lists cut in two parts of about as many
// files, one for each of two threads; each marks its own matches, joined afterwards.
std::vector<ListedFile> AddedFiles(const ScanResult& now, const EarlierScan& then,
                                   const FolderRows& folderRows, Matches& matched) {
    std::vector<const FolderFiles*> lists;
    lists.reserve(now.dirFiles.size());
    std::size_t files = 0;
    for (const FolderFiles& folder : now.dirFiles) {
        lists.push_back(&folder);
        files += folder.second.size();
    }
    std::size_t cut = 0;
    for (std::size_t half = 0; cut < lists.size() && half < files / 2; ++cut) {
        half += lists[cut]->second.size();
    }
    const std::size_t bounds[] = {0, cut, lists.size()};
    std::vector<ListedFile> found[2];
    std::vector<Matches> marks(2, Matches(matched.size(), false));
    ParallelForEach(2, std::thread::hardware_concurrency(), [&](std::size_t part) {
        found[part] =
            AddedFiles(now, then, folderRows, lists, bounds[part], bounds[part + 1], marks[part]);
    });
    for (std::size_t i = 0; i < matched.size(); ++i) {
        matched[i] = matched[i] || marks[0][i] || marks[1][i];
    }
    found[0].insert(found[0].end(), std::make_move_iterator(found[1].begin()),
                    std::make_move_iterator(found[1].end()));
    return std::move(found[0]);
}

}  // namespace

std::string ComparisonText(const ScanResult& now, const EarlierScan& then) {
    Matches matched(then.Rows().size(), false);
    FolderRows folderRows;
    std::vector<FolderChange> folders = FolderChanges(now, then, matched, folderRows);
    std::vector<ListedFile> added = AddedFiles(now, then, folderRows, matched);
    LargestListed gone;
    for (const EarlierScan::Row& row : then.Rows()) {
        if (row.replaced || matched[then.IndexOf(row)]) {
            continue;
        }
        if (row.folder) {
            if (row.allocated != 0) {
                folders.push_back({std::string(then.PathOf(row)), 0, row.allocated});
            }
        } else if (gone.Wants(row.size)) {
            gone.Offer({std::string(then.PathOf(row)), row.size, row.allocated});
        }
    }
    std::string text = "\n与上次扫描比较\n";
    text += "分配变化最大的 20 个文件夹\n" + ChangedFoldersTable(std::move(folders));
    text += "\n新增的最大 20 个文件\n" + FileTable(std::move(added));
    text += "\n消失的最大 20 个文件\n" + FileTable(gone.Take());
    return text;
}

}  // namespace kestrin
