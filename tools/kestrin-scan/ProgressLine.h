#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrin {

// Shows the engine's progress reports on a stream: on a terminal as one line with a bar that
// rewrites itself, elsewhere (a log, a pipe) as one line per report.
class ProgressLine {
public:
    ProgressLine(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

    void Report(std::int32_t percent, const std::wstring& text);
    // Ends the self-updating line so that what follows starts on a line of its own.
    void Finish();

private:
    std::FILE* out_;
    bool terminal_;
    std::size_t shownWidth_ = 0;
};

}  // namespace kestrin
