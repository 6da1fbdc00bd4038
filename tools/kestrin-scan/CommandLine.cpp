#include "tools/kestrin-scan/CommandLine.h"

namespace kestrin {

const char* const kUsageText =
    "usage: kestrin-scan [--drive X] [--partition N] [--cluster-size BYTES] [--csv FILE]\n"
    "                    [--ncdu FILE] [--compare OLD.csv] [--timing] [--records] SOURCE\n"
    "\n"
    "Scans an NTFS volume from its Master File Table and shows where its space went.\n"
    "\n"
    "SOURCE        a drive letter such as C (Windows, run as administrator), or the path of a\n"
    "              raw NTFS image or block device (any platform), or of a whole disk or disk\n"
    "              image with an MBR or GPT partition table (/dev/sdb, disk.img, a fixed .vhd,\n"
    "              \\\\.\\PhysicalDrive1): its NTFS partition is scanned; or a folder on\n"
    "              a mounted NTFS volume (/mnt/win/Users, C:\\Users\\me): its volume is read\n"
    "              and the summary, --csv, --ncdu and --compare cover that folder alone (as\n"
    "              root or administrator); or a volume's $MFT saved as a file\n"
    "\n"
    "  --drive X   the drive letter that names the root and the paths of a path SOURCE\n"
    "              (default C)\n"
    "  --partition N\n"
    "              the partition of a disk to scan, numbered as Linux numbers them (MBR: 1-4,\n"
    "              logical partitions from 5; GPT: from 1); needed when the disk holds more\n"
    "              than one NTFS partition\n"
    "  --cluster-size BYTES\n"
    "              the cluster size of the volume an $MFT file came from (default 4096)\n"
    "  --csv FILE  also write the complete result to FILE (- for standard output): UTF-8,\n"
    "              one row per folder and per file, columns\n"
    "              Path,Type,Size,Allocated,Files,Folders,Modified,Attributes,Record\n"
    "  --ncdu FILE also write the scan in ncdu's JSON export format to FILE (- for standard\n"
    "              output), for browsing with ncdu -f FILE or gdu -f FILE\n"
    "  --compare OLD.csv\n"
    "              after the summary, what changed since the scan an earlier --csv wrote to\n"
    "              OLD.csv: the folders whose allocated size changed most, the largest new\n"
    "              files and the largest files gone, matched by path\n"
    "  --timing    after the scan, print on standard error how long each step took: open,\n"
    "              read the MFT, decode the records, extension records, tree and\n"
    "              statistics, output\n"
    "  --records   instead of scanning, print one line per decoded file record, in record\n"
    "              order, separated by tabs: record, parent record, d (folder) or f (file),\n"
    "              size, allocated size, last modification as a raw FILETIME, attribute\n"
    "              flags in hex, UTF-8 name; for a folder, those of its whole volume\n"
    "  --help      show this text\n"
    "\n"
    "A scan prints its progress on standard error and, on standard output, the summary line,\n"
    "the folders directly under the root, the 20 largest files, the 20 largest extensions and\n"
    "the accounting of the volume's used space: the clusters the allocation bitmap marks as\n"
    "used, those of file data, named streams, folder indexes and other attributes, and what\n"
    "none of them claims.\n"
    "\n"
    "Exit status: 0 success, 1 the volume could not be opened or its MFT read (the reason on\n"
    "standard error), 2 wrong usage (also an OLD.csv that no --csv wrote), 3 completed but\n"
    "incomplete: part of the MFT could not be read (a warning on standard error says how many\n"
    "records).\n";

bool IsDriveLetter(const std::wstring& source) {
    const bool letter = !source.empty() && ((source[0] >= L'A' && source[0] <= L'Z') ||
                                            (source[0] >= L'a' && source[0] <= L'z'));
    return letter && (source.size() == 1 || (source.size() == 2 && source[1] == L':'));
}

namespace {

// Takes the value of an option that needs one; false when it is missing.
bool TakeValue(const std::vector<std::wstring>& arguments, std::size_t& i, std::wstring& value,
               std::size_t* index = nullptr) {
    if (i + 1 >= arguments.size()) {
        return false;
    }
    ++i;
    value = arguments[i];
    if (index != nullptr) {
        *index = i;
    }
    return true;
}

bool ParsePartitionNumber(const std::wstring& text, std::optional<int>& number) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    int value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + (c - L'0');
    }
    if (value < 1) {
        return false;
    }
    number = value;
    return true;
}

bool ParseClusterSize(const std::wstring& text, std::optional<std::int64_t>& size) {
    if (text.empty() || text.size() > 7) {
        return false;
    }
    std::int64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + (c - L'0');
    }
    if (value < 512 || value > (2 << 20) || (value & (value - 1)) != 0) {
        return false;
    }
    size = value;
    return true;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLine line;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument == L"--help" || argument == L"-h") {
            line.help = true;
        } else if (argument == L"--timing") {
            line.timing = true;
        } else if (argument == L"--records") {
            line.records = true;
        } else if (argument == L"--drive") {
            std::wstring drive;
            if (!TakeValue(arguments, i, drive) || !IsDriveLetter(drive)) {
                line.error = L"--drive needs a drive letter";
                return line;
            }
            line.drive = drive.substr(0, 1);
        } else if (argument == L"--ncdu") {
            if (!TakeValue(arguments, i, line.ncduFile, &line.ncduIndex) || line.ncduFile.empty()) {
                line.error = L"--ncdu needs a file name (- for standard output)";
                return line;
            }
            line.ncdu = true;
        } else if (argument == L"--compare") {
            if (!TakeValue(arguments, i, line.compareFile, &line.compareIndex) ||
                line.compareFile.empty()) {
                line.error = L"--compare needs the CSV of an earlier scan";
                return line;
            }
            line.compare = true;
        } else if (argument == L"--partition") {
            std::wstring number;
            if (!TakeValue(arguments, i, number) || !ParsePartitionNumber(number, line.partition)) {
                line.error = L"--partition needs a partition number (1 or more)";
                return line;
            }
        } else if (argument == L"--cluster-size") {
            std::wstring bytes;
            if (!TakeValue(arguments, i, bytes) || !ParseClusterSize(bytes, line.clusterSize)) {
                line.error = L"--cluster-size needs a power of two from 512 to 2097152";
                return line;
            }
        } else if (argument == L"--csv") {
            if (!TakeValue(arguments, i, line.csvFile, &line.csvIndex) || line.csvFile.empty()) {
                line.error = L"--csv needs a file name (- for standard output)";
                return line;
            }
            line.csv = true;
        } else if (argument.size() > 1 && argument[0] == L'-') {
            line.error = L"unknown option " + argument;
            return line;
        } else if (line.sourceIndex != 0) {
            line.error = L"more than one SOURCE";
            return line;
        } else {
            line.source = argument;
            line.sourceIndex = i;
        }
    }
    if (line.help) {
        return line;
    }
    if (line.sourceIndex == 0) {
        line.error = L"no SOURCE given";
    } else if (line.records && (line.csv || line.ncdu || line.compare)) {
        line.error = L"--records does not go with --csv, --ncdu or --compare";
    } else if (line.csv && line.ncdu && line.csvFile == L"-" && line.ncduFile == L"-") {
        line.error = L"--csv - and --ncdu - cannot both have standard output";
    } else if (line.compare &&
               ((line.csv && line.csvFile == L"-") || (line.ncdu && line.ncduFile == L"-"))) {
        line.error = L"--compare prints on standard output, which --csv - or --ncdu - takes";
    }
    return line;
}

}  // namespace kestrin
