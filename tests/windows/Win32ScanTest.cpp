// The Win32 side of a scan under Wine: the raw volume of drive D: (the sample image mapped as a
// device), the system thread pool and the Win32 time conversions.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <mutex>
#include <vector>

#include "core/TestPaths.h"
#include "render/Format.h"
#include "scan/pipeline/ScanPipeline.h"

namespace kestrin {
namespace {

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

struct Reports {
    std::mutex lock;
    std::vector<std::pair<std::int32_t, std::wstring>> seen;
    ProgressCallback Callback() {
        return [this](std::int32_t percent, const std::wstring& text) {
            std::lock_guard<std::mutex> guard(lock);
            seen.emplace_back(percent, text);
        };
    }
};

TEST(Win32Scan, DriveLetterScanEqualsTheScanOfItsImage) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "drive D: is the sample image only in the test's Wine prefix";
    }
    Reports driveReports;
    const ScanResult drive = ScanDriveMft(L"D", driveReports.Callback());
    const ScanResult image = ScanPathMft(test::FixtureImage("sample"), L"D", nullptr);
    EXPECT_EQ(drive.drive, L"D");
    EXPECT_EQ(drive.fileCount, image.fileCount);
    EXPECT_EQ(drive.dirCount, image.dirCount);
    EXPECT_EQ(drive.rootTotalSize, image.rootTotalSize);
    EXPECT_EQ(drive.dirs.size(), image.dirs.size());
    EXPECT_EQ(drive.dirs.at(5).name, L"[D:]");
    ASSERT_EQ(drive.largestFiles.size(), image.largestFiles.size());
    for (std::size_t i = 0; i < drive.largestFiles.size(); ++i) {
        EXPECT_EQ(drive.largestFiles[i].size, image.largestFiles[i].size) << i;
    }
    ASSERT_GE(driveReports.seen.size(), 7u);
    EXPECT_EQ(driveReports.seen.front().second, L"正在打开 NTFS 卷...");
    EXPECT_EQ(driveReports.seen.back(), std::make_pair(92, std::wstring(L"构建目录树...")));
}

TEST(Win32Scan, DriveThatIsNotThereFailsWithTheOpenText) {
    Reports reports;
    try {
        ScanDriveMft(L"Q", reports.Callback());
        FAIL() << "no exception";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "无法打开卷，请确认以管理员身份运行。");
    }
    ASSERT_EQ(reports.seen.size(), 1u);
    EXPECT_EQ(reports.seen[0].first, 1);
}

TEST(Win32Scan, FileTimesAgreeWithTheRuntimesLocalTime) {
    // 2021-07-01 12:34:56 UTC: whatever zone the machine is in, the Win32 conversion and the C
    // runtime's must name the same local time.
    const std::int64_t fileTime = 132696164960000000;
    const std::time_t seconds = static_cast<std::time_t>(fileTime / 10000000 - 11644473600);
    std::tm local{};
    ASSERT_EQ(localtime_s(&local, &seconds), 0);
    wchar_t expected[32];
    FormatToBuffer(expected, L"%04d/%d/%d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                   local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    EXPECT_EQ(FormatFileTime(fileTime), expected);
}

}  // namespace
}  // namespace kestrin
