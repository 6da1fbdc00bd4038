#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// The text forms of every value the user sees. All of them use the classic locale: a full stop
// as decimal separator, ASCII digits, no digit grouping.

// Units of 1024 with two decimals ("1.50 MB"); whole bytes below 1 KB ("512 B").
std::wstring FormatSize(std::int64_t bytes);
// One decimal, clamped to 0..100 ("37.5%").
std::wstring FormatPercent(double percent);
// Local date and time "2024/3/7 09:05:01"; empty for 0, negative or unconvertible values.
std::wstring FormatFileTime(std::int64_t fileTime);
// One letter per flag in the order R H S A C E L.
std::wstring FormatAttributes(std::uint32_t attributes);
// The tail from the last full stop ("report.PDF" gives ".PDF"); empty when there is none or the
// name starts with its only full stop (".gitignore").
std::wstring ExtensionOf(std::wstring_view name);
// The same text as a view into `name`, for lookups that should not allocate.
std::wstring_view ExtensionView(std::wstring_view name);
// Plain decimal digits with a leading minus for negatives.
std::wstring FormatCount(std::int32_t count);
std::wstring FormatCount(std::uint64_t count);
// "%f" cut to its first four characters ("2.34", "12.5", "123.").
std::wstring FormatSeconds(double seconds);
// printf-style wide formatting into a 32-character buffer, terminator included; the number of
// characters written, or -1 when the text does not fit or the format fails.
int FormatToBuffer(wchar_t (&buffer)[32], const wchar_t* format, ...);

}  // namespace kestrin
