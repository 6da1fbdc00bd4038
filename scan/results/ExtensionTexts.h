#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "scan/results/SharedText.h"
#include "scan/results/TextHash.h"

namespace kestrin {

// The extension column's text of file names, one shared text per distinct extension: the rows
// of a million files hold a few thousand texts between them.
class ExtensionTexts {
public:
    // ExtensionOf the name, or "(无扩展名)" when it has none.
    const SharedText& For(std::wstring_view name);

private:
    std::unordered_map<std::wstring, SharedText, TextHash, std::equal_to<>> texts_;
    SharedText none_;
};

}  // namespace kestrin
