#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace kestrin {

// An immutable wide text kept in a block of many: the name of one file. A volume's tens of
// millions of names, each a string of its own, cost a string object, a heap block and the
// allocator's rounding per name; here a name is 16 bytes beside its characters, and the names a
// decoding task adds lie one after another in shared blocks. A block lives as long as one name in
// it does, so a name may be copied, kept and dropped anywhere, like a string.
class NameText {
public:
    NameText() = default;
    NameText(std::wstring_view text);  // NOLINT: a text is a text
    NameText(const std::wstring& text) : NameText(std::wstring_view(text)) {}  // NOLINT
    NameText(const wchar_t* text) : NameText(std::wstring_view(text)) {}       // NOLINT
    NameText(const NameText& other) noexcept
        : block_(other.block_), offset_(other.offset_), length_(other.length_) {
        Retain();
    }
    NameText(NameText&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)),
          offset_(std::exchange(other.offset_, 0)),
          length_(std::exchange(other.length_, 0)) {}
    NameText& operator=(NameText other) noexcept {
        std::swap(block_, other.block_);
        std::swap(offset_, other.offset_);
        std::swap(length_, other.length_);
        return *this;
    }
    ~NameText() { Release(); }

    std::wstring_view view() const;
    std::wstring str() const { return std::wstring(view()); }
    operator std::wstring_view() const { return view(); }  // NOLINT
    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    wchar_t operator[](std::size_t i) const { return view()[i]; }

    friend bool operator==(const NameText& a, const NameText& b) { return a.view() == b.view(); }
    friend bool operator==(const NameText& a, std::wstring_view b) { return a.view() == b; }
    friend bool operator==(const NameText& a, const std::wstring& b) { return a.view() == b; }
    friend bool operator==(const NameText& a, const wchar_t* b) { return a.view() == b; }
    friend std::strong_ordering operator<=>(const NameText& a, const NameText& b) {
        return a.view().compare(b.view()) <=> 0;
    }

    // The characters of one or more names, and how many names (and the pool writing into it)
    // hold it.
    struct Block;

private:
    friend class NamePool;
    NameText(Block* block, std::uint32_t offset, std::uint32_t length);
    void Retain() const;
    void Release();

    Block* block_ = nullptr;
    std::uint32_t offset_ = 0;
    std::uint32_t length_ = 0;
};

std::wostream& operator<<(std::wostream& out, const NameText& name);

// Adds names one after another into blocks of its own. One per thread: adding is not
// synchronised, while the names it gives out may go anywhere.
class NamePool {
public:
    NamePool() = default;
    NamePool(const NamePool&) = delete;
    NamePool& operator=(const NamePool&) = delete;
    NamePool(NamePool&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    NamePool& operator=(NamePool&& other) noexcept;
    ~NamePool();

    NameText Add(std::wstring_view text);

private:
    NameText::Block* block_ = nullptr;
};

}  // namespace kestrin
