#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrin {

struct CommandLine {
    bool help = false;
    bool records = false;
    bool timing = false;                      // phase times on standard error
    std::wstring drive = L"C";                // names the root and the paths of a path source
    std::optional<int> partition;             // of a disk, as --partition gives it
    std::optional<std::int64_t> clusterSize;  // of the volume an $MFT file came from
    bool csv = false;
    std::wstring csvFile;  // "-" for standard output
    std::size_t csvIndex = 0;
    bool ncdu = false;
    std::wstring ncduFile;  // "-" for standard output
    std::size_t ncduIndex = 0;
    bool compare = false;
    std::wstring compareFile;  // an earlier --csv
    std::size_t compareIndex = 0;
    std::wstring source;
    std::size_t sourceIndex = 0;  // position of SOURCE among the arguments, program name at 0
    std::wstring error;           // set when the arguments are wrong
};

// Parses the arguments, the program name first.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// A SOURCE of one letter, optionally followed by a colon, names a drive.
bool IsDriveLetter(const std::wstring& source);

extern const char* const kUsageText;

}  // namespace kestrin
