#include "tools/kestrin-scan/source/FolderSource.h"

namespace kestrin {

std::string TrimmedFolderText(const std::string& shown, char separator) {
    std::string text = shown;
    // "/" and "C:\" are roots, and lose nothing.
    while (text.size() > 1 && text.back() == separator && !(text.size() == 3 && text[1] == ':')) {
        text.pop_back();
    }
    return text;
}

}  // namespace kestrin
