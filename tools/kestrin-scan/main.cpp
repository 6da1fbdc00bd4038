// kestrin-scan: the scan engine on the command line, for scripts and for volumes that are only
// images or block devices.
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scan/common/Utf16Text.h"
#include "scan/pipeline/ScanMessages.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/source/VolumeSource.h"
#include "scan/volume/MftFileRecords.h"
#include "scan/volume/MftFileVolume.h"
#include "scan/volume/SourceDescription.h"
#include "scan/volume/Volume.h"
#include "tools/kestrin-scan/CommandLine.h"
#include "tools/kestrin-scan/HeapTunables.h"
#include "tools/kestrin-scan/PhaseTimer.h"
#include "tools/kestrin-scan/ProgressLine.h"
#include "tools/kestrin-scan/compare/ScanComparison.h"
#include "tools/kestrin-scan/exports/CsvExport.h"
#include "tools/kestrin-scan/exports/NcduExport.h"
#include "tools/kestrin-scan/exports/RecordListing.h"
#include "tools/kestrin-scan/report/ScanReport.h"
#include "tools/kestrin-scan/source/FolderSource.h"
#include "tools/kestrin-scan/source/FolderSubtree.h"
#include "tools/kestrin-scan/source/SourceChoice.h"
#include "ui/StatusTexts.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kestrin {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The scan ran to the end, but part of the MFT could not be read: the result lacks its records.
constexpr int kExitIncomplete = 3;

// The paths of one run: SOURCE and the CSV file keep the bytes the user gave.
struct RunPaths {
    std::filesystem::path source;
    std::filesystem::path csv;
    std::filesystem::path ncdu;
    std::filesystem::path compare;
};

void PrepareConsole() {
#if defined(_WIN32)
    // Our texts are UTF-8 and lines end in a bare line feed, as on every other platform.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

// Said on standard error after the output, so that it is the last thing a user sees; the status
// tells scripts.
int WarnWhenIncomplete(int status, std::int64_t unreadRecords) {
    if (unreadRecords <= 0) {
        return status;
    }
    std::fprintf(stderr, "警告: MFT 中有 %lld 条记录无法读取，结果不完整。\n",
                 static_cast<long long>(unreadRecords));
    return status == kExitSuccess ? kExitIncomplete : status;
}

// With --timing: how much of the MFT the scan held at once, and what it read out of order.
void PrintMftReading(const MftReading& reading, std::FILE* out) {
    std::fprintf(
        out,
        "mft: %lld pieces, %.1f MiB held at most, %lld records decoded late, %lld reads "
        "out of order\n",
        static_cast<long long>(reading.pieces), static_cast<double>(reading.heldBytes) / (1 << 20),
        static_cast<long long>(reading.lateRecords), static_cast<long long>(reading.recordReads));
}

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

bool UsesDrive([[maybe_unused]] const CommandLine& line) {
#if defined(_WIN32)
    return IsDriveLetter(line.source);
#else
    return false;
#endif
}

std::string PathText(const std::filesystem::path& path) {
#if defined(_WIN32)
    return Utf8FromWide(path.wstring());
#else
    return path.string();
#endif
}

// Device paths such as \\.\PhysicalDrive1 name no file the file system could describe.
bool IsDevicePath(const std::filesystem::path& path) {
    return PathText(path).rfind("\\\\.\\", 0) == 0;
}

// What SOURCE turned out to be beyond a volume, known once it is open.
struct OpenedSource {
    bool mftFile = false;
    std::optional<FolderSource> folder;
};

constexpr const char* kMftFileUnreadable =
    "原因: $MFT 文件比记录 0 所说的 MFT 短（文件不完整），或 --cluster-size 与卷的簇大小不符。\n";
constexpr const char* kMftFileNoBitmap =
    "$MFT 文件中没有卷的分配位图 ($Bitmap): 卷已用与未归属未知\n";

// The MFT file as the volume it came from, with the cluster size the user gave or the default,
// which the user is told of: the file does not say.
std::unique_ptr<VolumeSource> OpenMftFile(const CommandLine& line,
                                          std::unique_ptr<VolumeSource> file) {
    const std::int64_t clusterSize = line.clusterSize.value_or(kDefaultMftFileClusterSize);
    if (line.clusterSize) {
        std::fprintf(stderr, "kestrin-scan: 这是一个 $MFT 文件，按簇大小 %lld 字节读取。\n",
                     static_cast<long long>(clusterSize));
    } else {
        std::fprintf(stderr,
                     "kestrin-scan: 这是一个 $MFT 文件，簇大小按默认的 %lld 字节计算；卷的簇大小"
                     "不同时请用 --cluster-size BYTES 指定。\n",
                     static_cast<long long>(clusterSize));
    }
    // Read with another cluster size, the run list places the records wrongly.
    if (const std::int64_t implied = ImpliedMftClusterSize(*file);
        implied > 0 && implied != clusterSize) {
        std::fprintf(stderr,
                     "警告: MFT 记录 0 的分配大小与数据运行表明卷的簇大小是 %lld 字节，而不是 "
                     "%lld 字节；请用 --cluster-size %lld 重新扫描。\n",
                     static_cast<long long>(implied), static_cast<long long>(clusterSize),
                     static_cast<long long>(implied));
    }
    return MakeMftFileVolume(std::move(file), clusterSize);
}

// The volume an opened path holds: the source itself, an $MFT file's volume, or the partition of
// a disk that the command line or the disk's partitions choose. Null with the reason when there
// is none.
std::unique_ptr<VolumeSource> ChooseWithin(const CommandLine& line,
                                           std::unique_ptr<VolumeSource> source,
                                           std::string& reason, OpenedSource& opened) {
    const SourceDescription description =
        DescribeSource([&](std::int64_t offset,
                           std::span<std::uint8_t> out) { return source->ReadAt(offset, out); },
                       source->Size());
    const SourceChoice choice = ChooseVolume(description, line.partition);
    if (!choice.scan) {
        reason = choice.reason;
        return nullptr;
    }
    if (line.clusterSize && !choice.mftFile) {
        reason =
            "原因: --cluster-size 只用于 $MFT 文件，这里是一个卷或磁盘，它的簇大小由卷自己给出。\n";
        return nullptr;
    }
    std::fputs(choice.notice.c_str(), stderr);
    if (choice.mftFile) {
        opened.mftFile = true;
        return OpenMftFile(line, std::move(source));
    }
    if (choice.length < 0) {
        return source;
    }
    return MakeVolumeWindow(std::move(source), choice.offset, choice.length);
}

std::string FolderPermissionReason(const std::string& folder, const std::string& device) {
    return "原因: 扫描 " + folder + " 要读取它所在的卷的设备 " + device +
           "，没有读取权限，请以 root 身份运行（Windows 上以管理员身份运行）。\n";
}

// The volume of a folder on a mounted NTFS volume, read as a device; the scan is cut to the
// folder afterwards.
std::unique_ptr<VolumeSource> OpenFolderVolume(const CommandLine& line, const RunPaths& paths,
                                               const std::string& shown, std::string& reason,
                                               OpenedSource& opened) {
    FolderSource folder = LocateFolder(paths.source, shown);
    if (!folder.found) {
        reason = folder.reason;
        return nullptr;
    }
    std::unique_ptr<VolumeSource> source =
        folder.drive.empty() ? OpenPathSource(folder.device) : OpenDriveSource(folder.drive);
    if (source == nullptr) {
        reason = FolderPermissionReason(shown, folder.deviceText);
        return nullptr;
    }
    std::fprintf(stderr, "kestrin-scan: 读取 %s 所在的卷 %s%s\n", shown.c_str(),
                 folder.deviceText.c_str(),
                 line.records ? "；--records 列出整个卷的记录。" : "，结果只含这个文件夹。");
    const bool drive = !folder.drive.empty();
    opened.folder = std::move(folder);
    // A drive letter's volume is NTFS or does not open; a device or image is looked at first.
    return drive ? std::move(source) : ChooseWithin(line, std::move(source), reason, opened);
}

// The volume a path source holds, or the reason there is none.
std::unique_ptr<VolumeSource> OpenPathVolume(const CommandLine& line, const RunPaths& paths,
                                             std::string& reason, OpenedSource& opened) {
    const std::string shown = PathText(paths.source);
    if (!IsDevicePath(paths.source)) {
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(paths.source, error);
        if (status.type() == std::filesystem::file_type::not_found) {
            reason = MissingPathReason(shown);
            return nullptr;
        }
        if (status.type() == std::filesystem::file_type::directory) {
            return OpenFolderVolume(line, paths, shown, reason, opened);
        }
    }
    std::unique_ptr<VolumeSource> source = OpenPathSource(paths.source);
    if (source == nullptr) {
        reason = PermissionReason(shown);
        return nullptr;
    }
    return ChooseWithin(line, std::move(source), reason, opened);
}

// Opens the volume of SOURCE; on failure says so, the first line as the window says it and a
// second with the cause where it is known.
bool OpenSourceVolume(const CommandLine& line, const RunPaths& paths, VolumeHandle& volume,
                      const std::string& failureLine, OpenedSource& opened) {
    std::string reason;
    bool open = false;
    if (UsesDrive(line)) {
        open = OpenVolume(volume, line.source.substr(0, 1));
    } else if (std::unique_ptr<VolumeSource> source = OpenPathVolume(line, paths, reason, opened)) {
        open = OpenVolumeSource(volume, std::move(source));
        reason = open ? "" : DamagedNtfsReason();
    }
    if (!open) {
        std::fprintf(stderr, "%s\n%s", failureLine.c_str(), reason.c_str());
    }
    return open;
}

// The MFT is decoded a piece at a time, as a scan decodes it, so that a listing of a volume of
// tens of millions of records holds its entries, not its MFT.
int ListRecords(const CommandLine& line, const RunPaths& paths) {
    OpenedSource opened;
    DecodedRecords decoded;
    try {
        decoded = DecodeVolumeRecords(
            [&](VolumeHandle& volume) {
                return OpenSourceVolume(line, paths, volume, kOpenVolumeFailedText, opened);
            },
            std::thread::hardware_concurrency());
    } catch (const std::exception& failure) {
        if (std::string(failure.what()) == kOpenVolumeFailedText) {
            return kExitFailure;  // said where the volume would not open
        }
        std::fprintf(stderr, "%s\n", failure.what());
        if (opened.mftFile) {
            std::fputs(kMftFileUnreadable, stderr);
        }
        return kExitFailure;
    }
    WriteRecordListing(decoded.slices, stdout);
    return WarnWhenIncomplete(std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure,
                              decoded.unreadRecords);
}

// Writes one output file ("-" for standard output) with `write`.
template <typename Write>
bool WriteFileTo(const std::wstring& name, const std::filesystem::path& path, Write&& write) {
    if (name == L"-") {
        return write(stdout) && std::fflush(stdout) == 0;
    }
#if defined(_WIN32)
    std::FILE* file = _wfopen(path.c_str(), L"wb");
#else
    std::FILE* file = std::fopen(path.c_str(), "wb");
#endif
    if (file == nullptr) {
        return false;
    }
    const bool written = write(file);
    return std::fclose(file) == 0 && written;
}

bool WriteOutputFiles(const ScanResult& result, const CommandLine& line, const RunPaths& paths) {
    if (line.csv && !WriteFileTo(line.csvFile, paths.csv,
                                 [&](std::FILE* out) { return WriteCsv(result, out); })) {
        std::fprintf(stderr, "kestrin-scan: cannot write %s\n", Utf8FromWide(line.csvFile).c_str());
        return false;
    }
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (line.ncdu && !WriteFileTo(line.ncduFile, paths.ncdu,
                                  [&](std::FILE* out) { return WriteNcdu(result, out, now); })) {
        std::fprintf(stderr, "kestrin-scan: cannot write %s\n",
                     Utf8FromWide(line.ncduFile).c_str());
        return false;
    }
    return true;
}

// Standard output is the summary, or the one file written there.
int WriteResult(const ScanResult& result, const CommandLine& line, const RunPaths& paths,
                std::optional<PendingEarlierScan>& earlier, const OpenedSource& opened) {
    const bool fileOnStdout =
        (line.csv && line.csvFile == L"-") || (line.ncdu && line.ncduFile == L"-");
    if (!fileOnStdout) {
        std::string text = ScanReportText(result, opened.mftFile ? kMftFileNoBitmap : "");
        if (earlier) {
            text += ComparisonText(result, earlier->Get());
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    if (!WriteOutputFiles(result, line, paths)) {
        return kExitFailure;
    }
    return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

// The earlier scan to compare with, read and checked before scanning so that a wrong file costs no
// scan; its rows are indexed while the volume is scanned.
bool ReadComparedScan(const CommandLine& line, const RunPaths& paths,
                      std::optional<PendingEarlierScan>& earlier) {
    if (!line.compare) {
        return true;
    }
    std::ifstream in(paths.compare, std::ios::binary);
    std::string why = "无法读取该文件";
    if (in) {
        earlier = StartReadingEarlierScan(in, why);
    }
    if (!earlier) {
        std::fprintf(stderr, "kestrin-scan: 无法比较: %s 不是 kestrin-scan --csv 写的文件: %s\n",
                     PathText(paths.compare).c_str(), why.c_str());
    }
    return earlier.has_value();
}

// A folder given as SOURCE: the folder's subtree of the result, or null when the scan holds no such
// folder, which the user hears. Kept, like the whole result, to the end of the process.
const ScanResult* CutToFolder(ScanResult& result, const FolderSource& folder) {
    const std::int64_t record = FindFolder(result, folder.record, folder.names);
    if (record < 0) {
        std::fprintf(stderr, "错误: 卷已扫描，但在其中找不到文件夹 %s（记录号 %lld）。\n",
                     Utf8FromWide(folder.shownPath).c_str(), static_cast<long long>(folder.record));
        return nullptr;
    }
    static ScanResult* const kept = new ScanResult;
    *kept = SubtreeOf(std::move(result), record, folder.shownPath, folder.separator);
    return kept;
}

int Scan(const CommandLine& line, const RunPaths& paths) {
    std::optional<PendingEarlierScan> earlier;
    if (!ReadComparedScan(line, paths, earlier)) {
        return kExitUsage;
    }
    ProgressLine progress(stderr, IsTerminal(stderr));
    PhaseTimer timer;
    const ProgressCallback report = [&](std::int32_t percent, const std::wstring& text) {
        timer.Reported(percent);
        progress.Report(percent, text);
    };
    // Never destroyed: the process ends right after the output and the system takes the memory
    // back at once, where freeing a million names and rows one by one took a quarter of a
    // second. Held by a static, so leak checkers see it as reachable.
    static ScanResult* const kept = new ScanResult;
    ScanResult& result = *kept;
    const std::string openFailed = Utf8FromWide(ErrorStatusText(kOpenVolumeFailedText));
    OpenedSource opened;
    try {
        const std::wstring drive = UsesDrive(line) ? line.source.substr(0, 1) : line.drive;
        // The volume is opened as the scan's first step, after its first progress report; what
        // the opening says goes on lines of its own.
        result = ScanVolumeMft(
            [&](VolumeHandle& volume) {
                progress.Finish();
                return OpenSourceVolume(line, paths, volume, openFailed, opened);
            },
            drive, report, std::thread::hardware_concurrency());
    } catch (const std::exception& failure) {
        if (std::string(failure.what()) == kOpenVolumeFailedText) {
            return kExitFailure;  // said where the volume would not open
        }
        progress.Finish();
        std::fprintf(stderr, "%s\n", Utf8FromWide(ErrorStatusText(failure.what())).c_str());
        if (opened.mftFile) {
            std::fputs(kMftFileUnreadable, stderr);
        }
        return kExitFailure;
    }
    timer.ScanEnded();
    progress.Finish();
    const ScanResult* shown = opened.folder ? CutToFolder(result, *opened.folder) : &result;
    if (shown == nullptr) {
        return kExitFailure;
    }
    const int status = WriteResult(*shown, line, paths, earlier, opened);
    timer.OutputEnded();
    if (line.timing) {
        timer.Print(stderr);
        PrintMftReading(result.mftReading, stderr);
    }
    return WarnWhenIncomplete(status, result.unreadMftRecords);
}

int Run(const std::vector<std::wstring>& arguments, const RunPaths& paths) {
    PrepareConsole();
    const CommandLine line = ParseCommandLine(arguments);
    if (line.help) {
        std::fputs(kUsageText, stdout);
        return kExitSuccess;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "kestrin-scan: %s\n\n%s", Utf8FromWide(line.error).c_str(),
                     kUsageText);
        return kExitUsage;
    }
    try {
        return line.records ? ListRecords(line, paths) : Scan(line, paths);
    } catch (const std::exception& failure) {
        // Memory exhaustion on a huge or damaged MFT: said, not a crash.
        std::fprintf(stderr, "%s\n", Utf8FromWide(ErrorStatusText(failure.what())).c_str());
        return kExitFailure;
    }
}

}  // namespace
}  // namespace kestrin

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> arguments(argv, argv + argc);
    const kestrin::CommandLine line = kestrin::ParseCommandLine(arguments);
    kestrin::RunPaths paths;
    if (line.sourceIndex != 0) {
        paths.source = arguments[line.sourceIndex];
    }
    if (line.csvIndex != 0) {
        paths.csv = arguments[line.csvIndex];
    }
    if (line.ncduIndex != 0) {
        paths.ncdu = arguments[line.ncduIndex];
    }
    if (line.compareIndex != 0) {
        paths.compare = arguments[line.compareIndex];
    }
    return kestrin::Run(arguments, paths);
}
#else
int main(int argc, char** argv) {
    kestrin::RestartWithTunedHeap(argv);
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(kestrin::WideFromUtf8(argv[i]));
    }
    // Paths keep the arguments' own bytes, whatever their encoding.
    const kestrin::CommandLine line = kestrin::ParseCommandLine(arguments);
    kestrin::RunPaths paths;
    if (line.sourceIndex != 0) {
        paths.source = argv[line.sourceIndex];
    }
    if (line.csvIndex != 0) {
        paths.csv = argv[line.csvIndex];
    }
    if (line.ncduIndex != 0) {
        paths.ncdu = argv[line.ncduIndex];
    }
    if (line.compareIndex != 0) {
        paths.compare = argv[line.compareIndex];
    }
    return kestrin::Run(arguments, paths);
}
#endif
