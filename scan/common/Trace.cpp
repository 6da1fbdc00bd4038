#include "scan/common/Trace.h"

#include <cstdarg>
#include <cwchar>
#include <mutex>

namespace kestrin {

namespace {

struct TraceState {
    std::mutex lock;
    TraceSink sink;
};

TraceState& State() {
    static TraceState state;
    return state;
}

}  // namespace

TraceSink SetTraceSink(TraceSink sink) {
    std::lock_guard<std::mutex> lock(State().lock);
    std::swap(State().sink, sink);
    return sink;
}

void Trace(const wchar_t* format, ...) {
    TraceState& state = State();
    std::lock_guard<std::mutex> lock(state.lock);
    if (!state.sink) {
        return;
    }
    wchar_t line[1024];
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vswprintf(line, sizeof line / sizeof line[0], format, arguments);
    va_end(arguments);
    if (written >= 0) {
        state.sink(std::wstring(line, static_cast<std::size_t>(written)));
    }
}

}  // namespace kestrin
