#pragma once

#include <string>
#include <string_view>

#include "scan/results/ScanResult.h"

namespace kestrin {

// The status line after a scan, e.g.
// "扫描完成 2.34 秒 · MFT · 931.51 GB · 812 文件 · 95 文件夹 · 单击三角展开", followed by
// " · 部分 MFT 无法读取" when records of the MFT could not be read.
std::wstring CompletionStatusText(const ScanResult& result);

// The status line after a failed scan: "错误: " and the scan's own text (UTF-8).
std::wstring ErrorStatusText(std::string_view message);

}  // namespace kestrin
