// kestrin-scan: the scan engine on the command line, for scripts and for volumes that are only
// images or block devices.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/MftReader.h"
#include "scan/ScanMessages.h"
#include "scan/Utf16Text.h"
#include "scan/Volume.h"
#include "tools/kestrin-scan/CommandLine.h"
#include "tools/kestrin-scan/RecordListing.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace kestrin {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrepareConsole() {
#if defined(_WIN32)
    // Our texts are UTF-8 and lines end in a bare line feed, as on every other platform.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

bool OpenSource(VolumeHandle& volume, [[maybe_unused]] const CommandLine& line,
                const std::filesystem::path& sourcePath) {
#if defined(_WIN32)
    if (IsDriveLetter(line.source)) {
        return OpenVolume(volume, line.source.substr(0, 1));
    }
#endif
    return OpenVolumePath(volume, sourcePath);
}

int ListRecords(const CommandLine& line, const std::filesystem::path& sourcePath) {
    VolumeHandle volume;
    if (!OpenSource(volume, line, sourcePath)) {
        std::fprintf(stderr, "%s\n", kOpenVolumeFailedText);
        return kExitFailure;
    }
    std::vector<std::uint8_t> image;
    MftGeometry geometry;
    const bool read = ReadMft(volume, image, geometry);
    volume.Close();
    if (!read) {
        std::fprintf(stderr, "%s\n", kReadMftFailedText);
        return kExitFailure;
    }
    WriteRecordListing(image, geometry.recordSize, stdout);
    return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

int Run(const std::vector<std::wstring>& arguments, const std::filesystem::path& sourcePath) {
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
    return ListRecords(line, sourcePath);
}

}  // namespace
}  // namespace kestrin

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> arguments(argv, argv + argc);
    const kestrin::CommandLine line = kestrin::ParseCommandLine(arguments);
    return kestrin::Run(arguments, line.sourceIndex != 0 ? std::filesystem::path(line.source)
                                                         : std::filesystem::path());
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(kestrin::WideFromUtf8(argv[i]));
    }
    // The path keeps the argument's own bytes, whatever their encoding.
    const kestrin::CommandLine line = kestrin::ParseCommandLine(arguments);
    return kestrin::Run(arguments, line.sourceIndex != 0
                                       ? std::filesystem::path(argv[line.sourceIndex])
                                       : std::filesystem::path());
}
#endif
