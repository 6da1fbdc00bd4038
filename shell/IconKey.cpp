#include "shell/IconKey.h"

namespace kestrin {

std::wstring NormalizeExtension(std::wstring_view extension) {
    if (extension.empty()) {
        return {};
    }
    std::wstring key;
    key.reserve(extension.size() + 1);
    if (extension.front() != L'.') {
        key += L'.';
    }
    for (wchar_t unit : extension) {
        key += (unit >= L'A' && unit <= L'Z') ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
    }
    return key;
}

}  // namespace kestrin
