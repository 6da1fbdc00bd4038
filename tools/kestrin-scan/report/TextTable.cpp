#include "tools/kestrin-scan/report/TextTable.h"

#include <algorithm>

#include "scan/common/Utf16Text.h"
#include "tools/kestrin-scan/report/TextWidth.h"

namespace kestrin {

std::string TextTable::Text() const {
    std::vector<std::size_t> widths(rows_.front().size(), 0);
    for (const auto& row : rows_) {
        for (std::size_t c = 0; c + 1 < row.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::wstring text;
    for (const auto& row : rows_) {
        for (std::size_t c = 0; c + 1 < row.size(); ++c) {
            text.append(widths[c] - DisplayWidth(row[c]), L' ');
            text += row[c];
            text += L"  ";
        }
        text += row.back();
        text += L'\n';
    }
    return Utf8FromWide(text);
}

}  // namespace kestrin
