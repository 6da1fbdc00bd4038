#include "tools/kestrin-scan/PhaseTimer.h"

namespace kestrin {

void PhaseTimer::Reported(std::int32_t percent) {
    firstReport_.try_emplace(percent, Clock::now());
}

double PhaseTimer::Seconds(Clock::time_point from, Clock::time_point to) const {
    return std::chrono::duration<double>(to - from).count();
}

PhaseTimer::Clock::time_point PhaseTimer::StepStart(std::int32_t percent,
                                                    Clock::time_point fallback) const {
    const auto found = firstReport_.find(percent);
    return found != firstReport_.end() ? found->second : fallback;
}

void PhaseTimer::Print(std::FILE* out) const {
    const auto open = StepStart(1, start_);
    const auto read = StepStart(5, open);
    const auto decode = StepStart(10, read);
    const auto extents = StepStart(90, decode);
    const auto tree = StepStart(92, extents);
    std::fprintf(out,
                 "timing: start %.3f s, open %.3f s, read %.3f s, decode %.3f s, extents %.3f s, "
                 "tree %.3f s, output %.3f s, total %.3f s\n",
                 Seconds(start_, open), Seconds(open, read), Seconds(read, decode),
                 Seconds(decode, extents), Seconds(extents, tree), Seconds(tree, scanEnd_),
                 Seconds(scanEnd_, outputEnd_), Seconds(start_, outputEnd_));
}

}  // namespace kestrin
