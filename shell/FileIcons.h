#pragma once

#include <windows.h>

#include <string_view>

namespace kestrin {

// The shell's small icon for files of an extension, asked once per extension and kept for the
// life of the process. The cache owns the handle; null when the shell has none.
HICON GetExtensionIcon(std::wstring_view extension);

}  // namespace kestrin
