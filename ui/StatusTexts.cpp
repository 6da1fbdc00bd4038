#include "ui/StatusTexts.h"

#include "render/Format.h"
#include "scan/common/Utf16Text.h"

namespace kestrin {

std::wstring CompletionStatusText(const ScanResult& result) {
    std::wstring text = L"扫描完成 " + FormatSeconds(result.seconds) + L" 秒 \u00B7 MFT \u00B7 " +
                        FormatSize(result.rootTotalSize) + L" \u00B7 " +
                        FormatCount(result.fileCount) + L" 文件 \u00B7 " +
                        FormatCount(result.dirCount) + L" 文件夹 \u00B7 单击三角展开";
    // A result that looks complete but is not must say so where the user looks first.
    if (result.unreadMftRecords > 0) {
        text += L" \u00B7 部分 MFT 无法读取";
    }
    return text;
}

std::wstring ErrorStatusText(std::string_view message) {
    return L"错误: " + WideFromUtf8(message);
}

}  // namespace kestrin
