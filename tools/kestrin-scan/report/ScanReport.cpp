#include "tools/kestrin-scan/report/ScanReport.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/results/DirectoryTree.h"
#include "tools/kestrin-scan/report/ShownPaths.h"
#include "tools/kestrin-scan/report/TextTable.h"
#include "ui/StatusTexts.h"

namespace kestrin {

namespace {

constexpr std::size_t kTopRows = 20;

std::wstring ShareOf(std::int64_t part, std::int64_t whole) {
    return FormatPercent(whole > 0 ? static_cast<double>(part) * 100.0 / static_cast<double>(whole)
                                   : 0.0);
}

std::string FoldersTable(const ScanResult& result) {
    const DirNode& root = result.dirs.at(result.rootRecord);
    TextTable table({L"大小", L"分配", L"占父目录 %", L"文件", L"子文件夹", L"文件夹"});
    for (const std::int64_t child : root.children) {
        const DirNode& node = result.dirs.at(child);
        table.Add({FormatSize(node.totalSize), FormatSize(node.totalAllocated),
                   ShareOf(node.totalSize, root.totalSize), FormatCount(node.totalFiles),
                   FormatCount(node.subdirCount), node.name});
    }
    // The root's own files, as the tree groups them, so that the shares add up.
    if (root.ownFiles > 0) {
        table.Add({FormatSize(root.ownSize), FormatSize(root.ownAllocated),
                   ShareOf(root.ownSize, root.totalSize), FormatCount(root.ownFiles), L"0",
                   L"[直接文件]"});
    }
    return table.Text();
}

std::string LargestFilesTable(const ScanResult& result) {
    TextTable table({L"大小", L"分配", L"路径"});
    const std::size_t rows = std::min(kTopRows, result.largestFiles.size());
    for (std::size_t i = 0; i < rows; ++i) {
        const FileRow& file = result.largestFiles[i];
        table.Add({FormatSize(file.size), FormatSize(file.allocated), ShownFilePath(result, file)});
    }
    return table.Text();
}

std::string ExtensionsTable(const ScanResult& result) {
    TextTable table({L"大小", L"占比", L"文件数", L"扩展名"});
    const std::int64_t total = result.rootTotalSize > 0 ? result.rootTotalSize : 1;
    const std::size_t rows = std::min(kTopRows, result.extStats.size());
    for (std::size_t i = 0; i < rows; ++i) {
        const ExtStat& stat = result.extStats[i];
        table.Add({FormatSize(stat.size), ShareOf(stat.size, total), FormatCount(stat.files),
                   stat.extension});
    }
    return table.Text();
}

// Sizes that may be negative (clusters claimed twice) keep their sign.
std::wstring SignedSize(std::int64_t bytes) {
    return bytes < 0 ? L"-" + FormatSize(bytes == INT64_MIN ? INT64_MAX : -bytes)
                     : FormatSize(bytes);
}

void AddAccountingRow(TextTable& table, std::int64_t bytes, const wchar_t* label) {
    table.Add({SignedSize(bytes), std::to_wstring(bytes), label});
}

std::string AccountingTable(const SpaceAccounting& space, std::string_view noBitmap) {
    TextTable table({L"大小", L"字节", L"项目"});
    if (space.HasVolumeUsed()) {
        AddAccountingRow(table, space.volumeUsed, L"卷已用");
    }
    AddAccountingRow(table, space.fileData, L"文件数据");
    AddAccountingRow(table, space.namedStreams, L"命名数据流");
    AddAccountingRow(table, space.directoryIndexes, L"目录索引");
    AddAccountingRow(table, space.otherAttributes, L"其他属性");
    if (space.HasVolumeUsed()) {
        AddAccountingRow(table, space.Unaccounted(), L"未归属");
        return table.Text();
    }
    return table.Text() +
           (noBitmap.empty() ? "无法读取 $Bitmap: 卷已用与未归属未知\n" : std::string(noBitmap));
}

}  // namespace

std::string ScanReportText(const ScanResult& result, std::string_view noBitmap) {
    std::string text = Utf8FromWide(CompletionStatusText(result)) + "\n";
    text += "\n" + Utf8FromWide(result.dirs.at(result.rootRecord).name) + " 下的文件夹\n";
    text += FoldersTable(result);
    text += "\n最大的 20 个文件\n";
    text += LargestFilesTable(result);
    text += "\n最大的 20 个扩展名\n";
    text += ExtensionsTable(result);
    text += "\n卷空间核算\n";
    text += AccountingTable(result.space, noBitmap);
    return text;
}

}  // namespace kestrin
