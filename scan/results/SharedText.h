#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace kestrin {

// An immutable wide text that copies share. Every file row of a folder carries the folder's path
// and its extension's text: shared, a million rows hold one path per folder and one text per
// extension instead of a million of each. One pointer wide, half a shared_ptr, since a row holds
// two of them.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::wstring text)  // NOLINT: implicit, a text is a text however it is held
        : holder_(new Holder{std::move(text)}) {}
    SharedText(const wchar_t* text) : SharedText(std::wstring(text)) {}  // NOLINT
    SharedText(const SharedText& other) noexcept : holder_(other.holder_) {
        if (holder_ != nullptr) {
            // Copies may be made and dropped on different threads, as rows are.
            holder_->copies.fetch_add(1, std::memory_order_relaxed);
        }
    }
    SharedText(SharedText&& other) noexcept : holder_(std::exchange(other.holder_, nullptr)) {}
    SharedText& operator=(SharedText other) noexcept {
        std::swap(holder_, other.holder_);
        return *this;
    }
    ~SharedText() {
        if (holder_ != nullptr && holder_->copies.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete holder_;
        }
    }

    const std::wstring& str() const { return holder_ != nullptr ? holder_->text : Empty(); }
    operator const std::wstring&() const { return str(); }  // NOLINT
    operator std::wstring_view() const { return str(); }    // NOLINT
    bool empty() const { return str().empty(); }

    friend bool operator==(const SharedText& a, const SharedText& b) {
        return a.holder_ == b.holder_ || a.str() == b.str();
    }
    friend bool operator==(const SharedText& a, std::wstring_view b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const std::wstring& b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const wchar_t* b) { return a.str() == b; }

private:
    struct Holder {
        explicit Holder(std::wstring value) : text(std::move(value)) {}
        const std::wstring text;
        std::atomic<std::size_t> copies{1};
    };

    static const std::wstring& Empty() {
        static const std::wstring empty;
        return empty;
    }

    Holder* holder_ = nullptr;
};

}  // namespace kestrin
