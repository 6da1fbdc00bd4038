#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>

namespace kestrin {

// Times the steps of one scan from the progress reports that start them, so the engine needs no
// clock of its own: open (1), read the MFT (5), decode (10), extension records (90 and 91),
// tree and statistics (92), then the output the caller writes.
class PhaseTimer {
public:
    using Clock = std::chrono::steady_clock;

    PhaseTimer() : start_(Clock::now()) {}

    // Called with every progress report; only the first report of a step counts.
    void Reported(std::int32_t percent);
    void ScanEnded() { scanEnd_ = Clock::now(); }
    void OutputEnded() { outputEnd_ = Clock::now(); }

    // One line: "timing: open 0.001 s · read 0.120 s · ...".
    void Print(std::FILE* out) const;

private:
    double Seconds(Clock::time_point from, Clock::time_point to) const;
    Clock::time_point StepStart(std::int32_t percent, Clock::time_point fallback) const;

    Clock::time_point start_;
    Clock::time_point scanEnd_{};
    Clock::time_point outputEnd_{};
    std::map<std::int32_t, Clock::time_point> firstReport_;
};

}  // namespace kestrin
