#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sstream>

#include "core/CapturedOutput.h"
#include "scan/common/Utf16Text.h"
#include "scan/results/DirectoryTree.h"
#include "scan/results/ScanSlice.h"
#include "tools/kestrin-scan/compare/CsvRecords.h"
#include "tools/kestrin-scan/compare/ScanComparison.h"
#include "tools/kestrin-scan/exports/CsvExport.h"
#include "tools/kestrin-scan/exports/NcduExport.h"

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

ScanResult SmallTree() {
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
    return result;
}

TEST(WriteCsv, FoldersDepthFirstEachFollowedByItsFilesUnreachableLast) {
    const std::vector<std::string> lines = CsvLines(SmallTree());
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

// The CSV read back as an earlier scan: the same tree compares as unchanged; a file that grew,
// one that came and one that went (its path quoted, as a comma and quotes in it demand) show.
TEST(ScanComparison, AnEarlierCsvIsReadBackAndComparedByPath) {
    const ScanResult now = SmallTree();
    std::string csv;
    for (const std::string& line : CsvLines(now)) {
        csv += line + "\r\n";
    }
    std::string why;
    std::istringstream same(csv);
    const std::optional<EarlierScan> earlier = ReadEarlierScan(same, why);
    ASSERT_TRUE(earlier) << why;
    ASSERT_NE(earlier->Find("C:\\big\\a,b.txt", false), nullptr);
    EXPECT_EQ(earlier->Find("C:\\big\\a,b.txt", false)->size, 900);
    EXPECT_EQ(earlier->Find("C:\\big\\a,b.txt", true), nullptr);
    EXPECT_EQ(ComparisonText(now, *earlier),
              "\n与上次扫描比较\n分配变化最大的 20 个文件夹\n（无）\n"
              "\n新增的最大 20 个文件\n（无）\n\n消失的最大 20 个文件\n（无）\n");

    std::string older = csv;
    const std::string grown = "C:\\big\\inner,folder,100,100";
    older.replace(older.find(grown), grown.size(), "C:\\big\\inner,folder,100,60");
    older.erase(older.find("C:\\small\\s.txt"),
                std::string("C:\\small\\s.txt,file,10,10,,,,,62\r\n").size());
    // A file listed away from its folder's rows is found all the same.
    const std::size_t moved = older.find("\"C:\\big\\a,b.txt\"");
    const std::size_t movedEnd = older.find("\r\n", moved) + 2;
    const std::string movedRow = older.substr(moved, movedEnd - moved);
    older.erase(moved, movedEnd - moved);
    older += movedRow;
    // A path listed twice counts once, with its later sizes.
    older += "\"C:\\old \"\"x\"\",y\",file,7,7,,,,,99\r\n";
    older += "\"C:\\old \"\"x\"\",y\",file,5000,8192,,,,,99\r\n";
    // So does one listed first after its folder and then again away from it.
    older += "C:\\big\\inner\\deep.bin,file,100,300,,,,,61\r\n";
    std::istringstream changed(older);
    const std::optional<EarlierScan> before = ReadEarlierScan(changed, why);
    ASSERT_TRUE(before) << why;
    ASSERT_NE(before->Find("C:\\big\\inner\\deep.bin", false), nullptr);
    EXPECT_EQ(before->Find("C:\\big\\inner\\deep.bin", false)->allocated, 300);
    const std::string text = ComparisonText(now, *before);
    EXPECT_NE(text.find("+40 B     100 B      60 B  C:\\big\\inner"), std::string::npos) << text;
    EXPECT_NE(text.find("10 B  10 B  C:\\small\\s.txt"), std::string::npos) << text;
    EXPECT_NE(text.find("4.88 KB  8.00 KB  C:\\old \"x\",y"), std::string::npos) << text;
    EXPECT_EQ(text.find("C:\\old", text.find("C:\\old") + 1), std::string::npos) << text;
    EXPECT_EQ(text.find("a,b.txt"), std::string::npos) << text;

    for (const std::string& bad : {std::string("Path,Type\r\n"), csv + "C:\\x,file,ten,1,,,,,1\r\n",
                                   csv + "C:\\x,link,1,1,,,,,1\r\n", csv + "\"C:\\open,file\r\n"}) {
        std::istringstream in(bad);
        EXPECT_FALSE(ReadEarlierScan(in, why)) << bad;
        EXPECT_FALSE(why.empty());
    }
}

// Records split the same wherever the chunks read end: inside a quoted line break, between a quote
// and the quote doubling it, between CR and LF.
TEST(SplitCsv, RecordsDoNotDependOnWhereChunksEnd) {
    using Records = std::vector<std::vector<std::string>>;
    const std::vector<std::pair<std::string, Records>> cases = {
        {"a,b\r\nc,,d\n", {{"a", "b"}, {"c", "", "d"}}},
        {"\"x,\"\"y\"\"\r\nz\",1\r\nlast", {{"x,\"y\"\r\nz", "1"}, {"last"}}},
        {"a\rb,c\r\n\r\n", {{"a\rb", "c"}, {""}}},
        {"ab\"c,d\"e,f\nend\r", {{"abc,de", "f"}, {"end\r"}}},
        {"\"q\"\r\n\"\"", {{"q"}}},
    };
    for (const auto& [text, expected] : cases) {
        for (const std::size_t chunk : {1, 2, 3, 5, 8, 1 << 20}) {
            Records records;
            std::istringstream in(text);
            const bool split = SplitCsv(
                in,
                [&](const std::vector<std::string_view>& fields) {
                    records.emplace_back(fields.begin(), fields.end());
                    return true;
                },
                chunk);
            EXPECT_TRUE(split && records == expected) << text << " in chunks of " << chunk;
        }
    }
    for (const std::size_t chunk : {1, 4, 1 << 20}) {
        std::istringstream open("a,\"b\r\nc\r\n");
        EXPECT_FALSE(SplitCsv(
            open, [](const auto&) { return true; }, chunk));
    }
}

TEST(NcduExport, NamesAreValidJsonStringsAndTimesUnixSeconds) {
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("C:\\"), "\"C:\\\\\"");
    EXPECT_EQ(JsonString("say \"hi\"\n\x01"), "\"say \\\"hi\\\"\\u000a\\u0001\"");
    EXPECT_EQ(JsonString("中文 😀"), "\"中文 😀\"");
    // A name that is not valid UTF-16 still gives valid JSON: the lone surrogate becomes U+FFFD.
    EXPECT_EQ(JsonString(Utf8FromWide(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x")),
              "\"\xEF\xBF\xBDx\"");
    EXPECT_EQ(UnixSeconds(116444736000000000 + 15 * 10000000), 15);
    EXPECT_EQ(UnixSeconds(0), 0);
    const std::string json = test::CaptureOutput(
        [&](std::FILE* out) { EXPECT_TRUE(WriteNcdu(SmallTree(), out, 1700000000)); });
    EXPECT_EQ(json.rfind("[1,2,{\"progname\":\"kestrin-scan\",", 0), 0u) << json;
    EXPECT_NE(json.find("{\"name\":\"a,b.txt\",\"asize\":900,\"dsize\":900,\"ino\":60}"),
              std::string::npos)
        << json;
    // What hangs from the root only: the looping folder and its file are the CSV's alone.
    EXPECT_EQ(json.find("loop"), std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '['), std::count(json.begin(), json.end(), ']'));
}

}  // namespace
}  // namespace kestrin
