#include "scan/results/ExtensionTexts.h"

#include "render/Format.h"
#include "scan/results/ScanResult.h"

namespace kestrin {

const SharedText& ExtensionTexts::For(std::wstring_view name) {
    const std::wstring_view extension = ExtensionView(name);
    if (extension.empty()) {
        if (none_.empty()) {
            none_ = SharedText(kNoExtensionLabel);
        }
        return none_;
    }
    const auto found = texts_.find(extension);
    if (found != texts_.end()) {
        return found->second;
    }
    std::wstring text(extension);
    return texts_.emplace(text, SharedText(text)).first->second;
}

}  // namespace kestrin
