#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// The icon cache's key of an extension: a leading full stop added when missing and only A to Z
// folded, so TXT, .TXT and .txt share one entry; the empty extension stays empty.
std::wstring NormalizeExtension(std::wstring_view extension);

}  // namespace kestrin
