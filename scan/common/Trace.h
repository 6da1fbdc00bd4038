#pragma once

#include <functional>
#include <string>

namespace kestrin {

// Diagnostic lines of the engine, printf-style wide formats. The product discards them; a test
// or a debugging session installs a sink to see them. Formatting happens only while a sink is
// installed.
using TraceSink = std::function<void(const std::wstring&)>;

// Installs a sink (an empty one discards again) and returns the previous one.
TraceSink SetTraceSink(TraceSink sink);

void Trace(const wchar_t* format, ...);

}  // namespace kestrin
