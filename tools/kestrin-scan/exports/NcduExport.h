#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "scan/results/ScanResult.h"

namespace kestrin {

// The scan in the JSON export format of ncdu (major version 1, minor version 2), which ncdu
// (`ncdu -f FILE`) and gdu (`gdu -f FILE`) browse: everything that hangs from the root, a folder
// as an array of its info object (its index's allocated size as dsize) and its children, a file
// as an object with its logical size (asize), allocated size (dsize), record number (ino) and
// modification time. Written as the tree is walked, never built in memory. False when writing
// fails.
bool WriteNcdu(const ScanResult& result, std::FILE* out, std::int64_t timestamp);

// `text` as a JSON string, quotes included: UTF-8, with quotes, backslashes and control
// characters escaped.
std::string JsonString(std::string_view text);

// A FILETIME as seconds since 1970, 0 for times before it or unknown.
std::int64_t UnixSeconds(std::int64_t fileTime);

}  // namespace kestrin
