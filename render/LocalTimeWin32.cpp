#include <windows.h>

#include "render/LocalTime.h"

namespace kestrin {

namespace {
CalendarTime FromSystemTime(const SYSTEMTIME& time) {
    return CalendarTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}
}  // namespace

std::optional<CalendarTime> FileTimeToLocalCalendar(std::int64_t fileTime) {
    if (fileTime < 0) {
        return std::nullopt;
    }
    const auto ticks = static_cast<std::uint64_t>(fileTime);
    FILETIME file;
    file.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    file.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&file, &utc)) {
        return std::nullopt;
    }
    // No explicit zone: the active one, with the daylight-saving rule of that date.
    SYSTEMTIME local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return FromSystemTime(utc);
    }
    return FromSystemTime(local);
}

}  // namespace kestrin
