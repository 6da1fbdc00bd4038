#pragma once

namespace kestrin {

// What kestrin-scan says it is, in the files it writes for other programs.
inline constexpr const char* kProgramVersion = "1.0.0";

}  // namespace kestrin
