#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "scan/common/ByteReader.h"

namespace kestrin {

// NTFS names are UTF-16LE. Wide strings are UTF-16 on Windows and UTF-32 elsewhere, so on the
// latter surrogate pairs are joined into one code point; a lone surrogate is kept as it is.
std::wstring WideFromUtf16Le(const ByteReader& bytes, std::size_t offset, std::size_t units);

// One code point as UTF-8, appended.
void AppendUtf8CodePoint(std::string& out, char32_t c);

// UTF-8 for output; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

// Wide text from UTF-8 (command-line arguments on POSIX systems); invalid bytes become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

}  // namespace kestrin
