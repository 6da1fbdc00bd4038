#pragma once

#include <cstdint>
#include <optional>

namespace kestrin {

// Calendar fields of one point in time, as the platform's time conversion yields them.
struct CalendarTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A FILETIME (100 ns units since 1601-01-01 UTC) in the local time zone, with the daylight-saving
// rule of that date. When only the local conversion fails, the UTC fields are returned; when the
// value cannot be converted at all, nothing. Windows uses its own conversions; other platforms use
// the C library's local time, so both give the same text for the same zone.
std::optional<CalendarTime> FileTimeToLocalCalendar(std::int64_t fileTime);

}  // namespace kestrin
