#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace kestrin {

// An immutable wide text that copies share. Every file row of a folder carries the folder's path
// and its extension's text: shared, a million rows hold one path per folder and one text per
// extension instead of a million of each.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::wstring text)  // NOLINT: implicit, a text is a text however it is held
        : text_(std::make_shared<const std::wstring>(std::move(text))) {}
    SharedText(const wchar_t* text) : SharedText(std::wstring(text)) {}  // NOLINT

    const std::wstring& str() const { return text_ != nullptr ? *text_ : Empty(); }
    operator const std::wstring&() const { return str(); }  // NOLINT
    operator std::wstring_view() const { return str(); }    // NOLINT

    bool empty() const { return str().empty(); }

    friend bool operator==(const SharedText& a, const SharedText& b) {
        return a.text_ == b.text_ || a.str() == b.str();
    }
    friend bool operator==(const SharedText& a, std::wstring_view b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const std::wstring& b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const wchar_t* b) { return a.str() == b; }

private:
    static const std::wstring& Empty() {
        static const std::wstring empty;
        return empty;
    }

    std::shared_ptr<const std::wstring> text_;
};

}  // namespace kestrin
