#include <ctime>

#include "render/LocalTime.h"

namespace kestrin {

namespace {
constexpr std::int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;

CalendarTime FromTm(const std::tm& tm) {
    return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                        tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}
}  // namespace

std::optional<CalendarTime> FileTimeToLocalCalendar(std::int64_t fileTime) {
    if (fileTime < 0) {
        return std::nullopt;
    }
    const std::time_t seconds =
        static_cast<std::time_t>(fileTime / kTicksPerSecond - kEpochDifference);
    std::tm tm{};
    if (localtime_r(&seconds, &tm) != nullptr) {
        return FromTm(tm);
    }
    if (gmtime_r(&seconds, &tm) != nullptr) {
        return FromTm(tm);
    }
    return std::nullopt;
}

}  // namespace kestrin
