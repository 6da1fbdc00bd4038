// What a scan thread posts: progress texts in order, then exactly one completion, with heap
// payloads that belong to the receiver, or are freed when nobody can receive them.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ScanThread.h"
#include "app/WindowMessages.h"
#include "scan/pipeline/ScanPipeline.h"
#include "windows/gui/GuiTest.h"

namespace kestrin {
namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    std::wstring text;
    std::unique_ptr<ScanResult> result;
};

std::vector<Received>* received = nullptr;

LRESULT CALLBACK CollectorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SCAN_PROGRESS) {
        std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
        received->push_back({message, wParam, *text, nullptr});
        return 0;
    }
    if (message == WM_SCAN_DONE) {
        received->push_back({message, wParam, L"",
                             std::unique_ptr<ScanResult>(reinterpret_cast<ScanResult*>(lParam))});
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window that keeps what a scan thread sends it.
class Collector {
public:
    Collector() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = CollectorProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KestrinTestCollector";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, L"KestrinTestCollector", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, windowClass.hInstance, nullptr);
        received = &messages_;
    }
    ~Collector() {
        ::DestroyWindow(window_);
        received = nullptr;
    }
    HWND Window() const { return window_; }
    std::vector<Received>& Messages() {
        test::PumpPending();
        return messages_;
    }

private:
    HWND window_ = nullptr;
    std::vector<Received> messages_;
};

TEST(ScanThread, ForwardsProgressThenHandsOverTheResult) {
    Collector collector;
    RunScanThread(L"D", collector.Window(), [](std::wstring drive, ProgressCallback progress) {
        progress(1, L"正在打开 NTFS 卷...");
        progress(92, L"构建目录树...");
        ScanResult result;
        result.drive = drive;
        result.fileCount = 7;
        return result;
    });
    auto& messages = collector.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, WM_SCAN_PROGRESS);
    EXPECT_EQ(messages[0].wParam, 1u);
    EXPECT_EQ(messages[0].text, L"正在打开 NTFS 卷...");
    EXPECT_EQ(messages[1].wParam, 92u);
    EXPECT_EQ(messages[2].message, WM_SCAN_DONE);
    EXPECT_EQ(messages[2].wParam, 0u);
    ASSERT_NE(messages[2].result, nullptr);
    EXPECT_EQ(messages[2].result->drive, L"D");
    EXPECT_EQ(messages[2].result->fileCount, 7);
}

TEST(ScanThread, FailureIsAnErrorTextThenAnEmptyCompletion) {
    Collector collector;
    RunScanThread(L"Q", collector.Window(),
                  [](std::wstring, ProgressCallback progress) -> ScanResult {
                      progress(1, L"正在打开 NTFS 卷...");
                      throw std::runtime_error("无法打开卷，请确认以管理员身份运行。");
                  });
    auto& messages = collector.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].message, WM_SCAN_PROGRESS);
    EXPECT_EQ(messages[1].wParam, 0u);
    EXPECT_EQ(messages[1].text, L"错误: 无法打开卷，请确认以管理员身份运行。");
    EXPECT_EQ(messages[2].message, WM_SCAN_DONE);
    EXPECT_EQ(messages[2].wParam, 1u);
    EXPECT_EQ(messages[2].result, nullptr);
}

TEST(ScanThread, RealScanOfAMissingDriveFailsWithTheOpenText) {
    Collector collector;
    RunScanThread(L"Q", collector.Window(), [](std::wstring drive, ProgressCallback progress) {
        return ScanDriveMft(std::move(drive), std::move(progress));
    });
    auto& messages = collector.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, L"正在打开 NTFS 卷...");
    EXPECT_EQ(messages[1].text, L"错误: 无法打开卷，请确认以管理员身份运行。");
    EXPECT_EQ(messages[2].wParam, 1u);
}

struct Counted {
    static inline int destroyed = 0;
    ~Counted() { ++destroyed; }
};

TEST(ScanThread, PayloadOfAFailedPostIsFreedBySender) {
    Collector collector;
    const HWND gone = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        nullptr, nullptr);
    ::DestroyWindow(gone);
    Counted::destroyed = 0;
    EXPECT_FALSE(PostOwned(gone, WM_SCAN_PROGRESS, 0, new Counted));
    EXPECT_EQ(Counted::destroyed, 1);
    EXPECT_TRUE(PostOwned(collector.Window(), WM_APP + 40, 0, new Counted));
    EXPECT_EQ(Counted::destroyed, 1);  // posted: now the receiver's to free
    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, collector.Window(), WM_APP + 40, WM_APP + 40, PM_REMOVE));
    delete reinterpret_cast<Counted*>(message.lParam);
}

}  // namespace
}  // namespace kestrin
