#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"

namespace kestrin {
namespace {

// 2021-12-01 00:00:00 UTC and 2021-07-01 12:34:56 UTC as FILETIME values.
constexpr std::int64_t kDecemberFirst = 132827904000000000;
constexpr std::int64_t kJulyFirst = 132696164960000000;

TEST(FormatSize, UnitsOf1024WithTwoDecimals) {
    EXPECT_EQ(FormatSize(0), L"0 B");
    EXPECT_EQ(FormatSize(-5), L"0 B");
    EXPECT_EQ(FormatSize(1023), L"1023 B");
    EXPECT_EQ(FormatSize(1024), L"1.00 KB");
    EXPECT_EQ(FormatSize(1536), L"1.50 KB");
    EXPECT_EQ(FormatSize(1048575), L"1024.00 KB");  // unit chosen before rounding
    EXPECT_EQ(FormatSize(1048576), L"1.00 MB");
    EXPECT_EQ(FormatSize(1000204886016), L"931.51 GB");
    EXPECT_EQ(FormatSize(std::int64_t{1} << 50), L"1024.00 TB");
    EXPECT_EQ(FormatSize(INT64_MAX), L"8388608.00 TB");
}

TEST(FormatPercent, OneDecimalClamped) {
    EXPECT_EQ(FormatPercent(-3), L"0.0%");
    EXPECT_EQ(FormatPercent(100.04), L"100.0%");
    EXPECT_EQ(FormatPercent(250), L"100.0%");
    EXPECT_EQ(FormatPercent(33.333), L"33.3%");
    EXPECT_EQ(FormatPercent(12.36), L"12.4%");
    EXPECT_EQ(FormatPercent(0.0 / 0.0), L"0.0%");
}

TEST(FormatAttributes, LettersInFixedOrder) {
    EXPECT_EQ(FormatAttributes(0), L"");
    EXPECT_EQ(FormatAttributes(0x27), L"RHSA");
    EXPECT_EQ(FormatAttributes(0x4C00), L"CEL");
    EXPECT_EQ(FormatAttributes(0x421), L"RAL");
    EXPECT_EQ(FormatAttributes(0x10 | 0x2000 | 0x200), L"");
}

TEST(ExtensionOf, TailFromTheLastFullStop) {
    EXPECT_EQ(ExtensionOf(L"noext"), L"");
    EXPECT_EQ(ExtensionOf(L".hidden"), L"");
    EXPECT_EQ(ExtensionOf(L"a.b.c"), L".c");
    EXPECT_EQ(ExtensionOf(L"name."), L".");
    EXPECT_EQ(ExtensionOf(L"report.final.PDF"), L".PDF");
    EXPECT_EQ(ExtensionOf(L"x.verylongextensionname"), L".verylongextensionname");
    EXPECT_EQ(ExtensionOf(L""), L"");
}

TEST(FormatCountAndSeconds, PlainDigitsAndFourCharacters) {
    EXPECT_EQ(FormatCount(-12), L"-12");
    EXPECT_EQ(FormatCount(INT32_MIN), L"-2147483648");
    EXPECT_EQ(FormatCount(std::uint64_t{1} << 40), L"1099511627776");
    EXPECT_EQ(FormatSeconds(2.345678), L"2.34");
    EXPECT_EQ(FormatSeconds(12.5), L"12.5");
    EXPECT_EQ(FormatSeconds(123.4), L"123.");
    EXPECT_EQ(FormatSeconds(1234.5), L"1234");
    EXPECT_EQ(FormatSeconds(0.5), L"0.50");
    EXPECT_EQ(FormatSeconds(10), L"10.0");
    EXPECT_EQ(FormatSeconds(100), L"100.");
}

TEST(FormatToBuffer, RefusesTextsThatDoNotFit) {
    wchar_t buffer[32];
    EXPECT_EQ(FormatToBuffer(buffer, L"%d/%d", 7, 8), 3);
    EXPECT_EQ(std::wstring(buffer), L"7/8");
    EXPECT_EQ(FormatToBuffer(buffer, L"%040d", 1), -1);
}

TEST(FormatFileTime, UnknownTimesAreEmptyAndKnownOnesHaveTheFixedShape) {
    EXPECT_EQ(FormatFileTime(0), L"");
    EXPECT_EQ(FormatFileTime(-1), L"");
    const std::string text = Utf8FromWide(FormatFileTime(kDecemberFirst));
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}/\d{1,2}/\d{1,2} \d\d:\d\d:\d\d)")))
        << text;
}

#if !defined(_WIN32)
// The C library's local time follows TZ, so the zone rules can be pinned here.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

TEST(FormatFileTime, LocalTimeWithTheZoneRuleOfThatDate) {
    {
        ZoneGuard zone("UTC");
        EXPECT_EQ(FormatFileTime(kDecemberFirst), L"2021/12/1 00:00:00");
        EXPECT_EQ(FormatFileTime(kJulyFirst), L"2021/7/1 12:34:56");
        EXPECT_EQ(FormatFileTime(1), L"1601/1/1 00:00:00");
        EXPECT_EQ(FormatFileTime(kDecemberFirst + 9999999),
                  L"2021/12/1 00:00:00");  // no rounding up
    }
    {
        ZoneGuard zone("Asia/Shanghai");
        EXPECT_EQ(FormatFileTime(kDecemberFirst), L"2021/12/1 08:00:00");
    }
    {
        ZoneGuard zone("America/New_York");
        EXPECT_EQ(FormatFileTime(kDecemberFirst), L"2021/11/30 19:00:00");  // standard time
        EXPECT_EQ(FormatFileTime(kJulyFirst), L"2021/7/1 08:34:56");        // daylight saving
    }
}
#endif

}  // namespace
}  // namespace kestrin
