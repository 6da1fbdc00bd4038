#include "tools/kestrin-scan/CommandLine.h"

namespace kestrin {

const char* const kUsageText =
    "usage: kestrin-scan --records SOURCE\n"
    "\n"
    "Reads the Master File Table of an NTFS volume and decodes every file record.\n"
    "\n"
    "SOURCE  a drive letter such as C (Windows, run as administrator), or the path of a\n"
    "        raw NTFS image or block device (any platform)\n"
    "\n"
    "  --records  print one line per decoded record, in record order, separated by tabs:\n"
    "             record, parent record, d (folder) or f (file), size, allocated size,\n"
    "             last modification as a raw FILETIME, attribute flags in hex, UTF-8 name\n"
    "  --help     show this text\n"
    "\n"
    "Exit status: 0 success, 1 the volume could not be opened or its MFT read, 2 wrong usage.\n";

bool IsDriveLetter(const std::wstring& source) {
    const bool letter = !source.empty() && ((source[0] >= L'A' && source[0] <= L'Z') ||
                                            (source[0] >= L'a' && source[0] <= L'z'));
    return letter && (source.size() == 1 || (source.size() == 2 && source[1] == L':'));
}

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLine line;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument == L"--help" || argument == L"-h") {
            line.help = true;
        } else if (argument == L"--records") {
            line.records = true;
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
    } else if (!line.records) {
        line.error = L"nothing to do: give --records";
    }
    return line;
}

}  // namespace kestrin
