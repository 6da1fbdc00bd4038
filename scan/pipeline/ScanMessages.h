#pragma once

namespace kestrin {

// The user's texts for the two ways a scan can fail (UTF-8, as exception texts are).
inline constexpr const char* kOpenVolumeFailedText = "无法打开卷，请确认以管理员身份运行。";
inline constexpr const char* kReadMftFailedText = "无法读取 MFT。";

}  // namespace kestrin
