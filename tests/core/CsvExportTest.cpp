#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "core/CapturedOutput.h"
#include "scan/DirectoryTree.h"
#include "scan/ScanSlice.h"
#include "tools/kestrin-scan/CsvExport.h"

namespace kestrin {
namespace {

MftEntry Entry(std::int64_t record, std::int64_t parent, const std::wstring& name, bool directory,
               std::int64_t size = 0) {
    MftEntry entry;
    entry.recordNumber = record;
    entry.parentRecord = parent;
    entry.name = name;
    entry.isDirectory = directory;
    entry.size = size;
    entry.allocated = size;
    return entry;
}

std::vector<std::string> CsvLines(const ScanResult& result) {
    const std::string text =
        test::CaptureOutput([&](std::FILE* out) { EXPECT_TRUE(WriteCsv(result, out)); });
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(CsvField("plain name.txt"), "plain name.txt");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField(""), "");
}

TEST(WriteCsv, FoldersDepthFirstEachFollowedByItsFilesUnreachableLast) {
    ScanSlice slice;
    for (const MftEntry& entry :
         {Entry(5, 5, L".", true), Entry(30, 5, L"small", true), Entry(40, 5, L"big", true),
          Entry(41, 40, L"inner", true), Entry(50, 50, L"loop", true),
          Entry(60, 40, L"a,b.txt", false, 900), Entry(61, 41, L"deep.bin", false, 100),
          Entry(62, 30, L"s.txt", false, 10), Entry(63, 50, L"lost.txt", false, 7),
          Entry(64, 5, L"root.sys", false, 1)}) {
        AddEntry(slice, entry);
    }
    ScanResult result;
    BuildResult(result, slice, L"C");
    const std::vector<std::string> lines = CsvLines(result);
    const std::vector<std::string> expected = {
        "Path,Type,Size,Allocated,Files,Folders,Modified,Attributes,Record",
        "C:\\,folder,1011,1011,4,3,,,5",
        "C:\\root.sys,file,1,1,,,,,64",
        "C:\\big,folder,1000,1000,2,1,,,40",
        "\"C:\\big\\a,b.txt\",file,900,900,,,,,60",
        "C:\\big\\inner,folder,100,100,1,0,,,41",
        "C:\\big\\inner\\deep.bin,file,100,100,,,,,61",
        "C:\\small,folder,10,10,1,0,,,30",
        "C:\\small\\s.txt,file,10,10,,,,,62",
        "C:\\loop,folder,0,0,0,0,,,50",
        "C:\\loop\\lost.txt,file,7,7,,,,,63",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace kestrin
