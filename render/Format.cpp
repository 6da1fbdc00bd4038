#include "render/Format.h"

#include <cstdarg>
#include <cwchar>

#include "render/LocalTime.h"

namespace kestrin {

namespace {

// Formats one double with a fixed format into a short text.
std::wstring FormatDouble(const wchar_t* format, double value) {
    wchar_t buffer[32];
    const int written = FormatToBuffer(buffer, format, value);
    return written < 0 ? std::wstring() : std::wstring(buffer, static_cast<std::size_t>(written));
}

}  // namespace

int FormatToBuffer(wchar_t (&buffer)[32], const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vswprintf(buffer, 32, format, arguments);
    va_end(arguments);
    // MinGW's runtime returns the length the text would have had instead of a negative value.
    if (written < 0 || written >= 32) {
        buffer[0] = L'\0';
        return -1;
    }
    return written;
}

std::wstring FormatSize(std::int64_t bytes) {
    static const wchar_t* const kUnits[] = {L"B", L"KB", L"MB", L"GB", L"TB"};
    double value = static_cast<double>(bytes < 0 ? 0 : bytes);
    int unit = 0;
    // The unit is chosen before rounding, so 1048575 bytes read 1024.00 KB.
    while (value >= 1024.0 && unit < 4) {
        value *= 0.0009765625;
        ++unit;
    }
    if (unit == 0) {
        return std::to_wstring(static_cast<std::int64_t>(value)) + L" B";
    }
    return FormatDouble(L"%.2f", value) + L" " + kUnits[unit];
}

std::wstring FormatPercent(double percent) {
    // NaN compares false both ways and would print as "nan"; it is no share at all.
    if (!(percent >= 0.0)) {
        percent = 0.0;
    } else if (percent > 100.0) {
        percent = 100.0;
    }
    return FormatDouble(L"%.1f%%", percent);
}

std::wstring FormatFileTime(std::int64_t fileTime) {
    if (fileTime <= 0) {
        return std::wstring();
    }
    const std::optional<CalendarTime> local = FileTimeToLocalCalendar(fileTime);
    if (!local) {
        return std::wstring();
    }
    wchar_t buffer[32];
    const int written =
        FormatToBuffer(buffer, L"%04d/%d/%d %02d:%02d:%02d", local->year, local->month, local->day,
                       local->hour, local->minute, local->second);
    return written < 0 ? std::wstring() : std::wstring(buffer, static_cast<std::size_t>(written));
}

std::wstring FormatAttributes(std::uint32_t attributes) {
    struct Letter {
        std::uint32_t flag;
        wchar_t letter;
    };
    static constexpr Letter kLetters[] = {{0x1, L'R'},   {0x2, L'H'},    {0x4, L'S'},  {0x20, L'A'},
                                          {0x800, L'C'}, {0x4000, L'E'}, {0x400, L'L'}};
    std::wstring text;
    for (const Letter& letter : kLetters) {
        if ((attributes & letter.flag) != 0) {
            text.push_back(letter.letter);
        }
    }
    return text;
}

std::wstring_view ExtensionView(std::wstring_view name) {
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot);
}

std::wstring ExtensionOf(std::wstring_view name) {
    return std::wstring(ExtensionView(name));
}

std::wstring FormatCount(std::int32_t count) {
    return std::to_wstring(count);
}

std::wstring FormatCount(std::uint64_t count) {
    return std::to_wstring(count);
}

std::wstring FormatSeconds(double seconds) {
    wchar_t buffer[32];
    const int written = FormatToBuffer(buffer, L"%f", seconds);
    if (written < 0) {
        return std::wstring();
    }
    return std::wstring(buffer, static_cast<std::size_t>(written < 4 ? written : 4));
}

}  // namespace kestrin
