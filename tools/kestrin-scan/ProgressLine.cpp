#include "tools/kestrin-scan/ProgressLine.h"

#include <algorithm>

#include "scan/common/Utf16Text.h"
#include "tools/kestrin-scan/report/TextWidth.h"

namespace kestrin {

namespace {
constexpr int kBarWidth = 24;
}  // namespace

void ProgressLine::Report(std::int32_t percent, const std::wstring& text) {
    const int clamped = std::clamp(percent, 0, 100);
    if (!terminal_) {
        std::fprintf(out_, "%3d%% %s\n", clamped, Utf8FromWide(text).c_str());
        std::fflush(out_);
        return;
    }
    const int filled = clamped * kBarWidth / 100;
    std::wstring line = L"[" + std::wstring(static_cast<std::size_t>(filled), L'#') +
                        std::wstring(static_cast<std::size_t>(kBarWidth - filled), L'-') + L"] ";
    wchar_t number[8];
    std::swprintf(number, 8, L"%3d%% ", clamped);
    line += number;
    line += text;
    const std::size_t width = DisplayWidth(line);
    // Spaces wipe out what a longer previous line left behind; no terminal escapes needed.
    if (width < shownWidth_) {
        line.append(shownWidth_ - width, L' ');
    }
    shownWidth_ = width;
    std::fprintf(out_, "\r%s", Utf8FromWide(line).c_str());
    std::fflush(out_);
}

void ProgressLine::Finish() {
    if (terminal_ && shownWidth_ > 0) {
        std::fputs("\n", out_);
        std::fflush(out_);
    }
    shownWidth_ = 0;
}

}  // namespace kestrin
