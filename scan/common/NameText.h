#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace kestrin {

// Names are kept as NTFS holds them, in UTF-16: as wchar_t where it is 16 bits wide (Windows),
// so that they read as wide text in place, and as char16_t elsewhere, where a wide character
// takes four bytes and the names of tens of millions of files would take twice the memory.
using NameUnit = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;
// A name as wide text: a view of the name itself where wchar_t is 16 bits wide, a converted copy
// elsewhere.
using WideName = std::conditional_t<sizeof(wchar_t) == 2, std::wstring_view, std::wstring>;

// An immutable name kept in a block of many: the name of one file. A volume's tens of millions of
// names, each a string of its own, cost a string object, a heap block and the allocator's
// rounding per name; here a name is 16 bytes beside its characters, and the names a decoding task
// adds lie one after another in shared blocks. A block lives as long as one name in it does, so a
// name may be copied, kept and dropped anywhere, like a string.
class NameText {
public:
    NameText() = default;
    NameText(std::wstring_view text);                                          // NOLINT
    NameText(const std::wstring& text) : NameText(std::wstring_view(text)) {}  // NOLINT
    NameText(const wchar_t* text) : NameText(std::wstring_view(text)) {}       // NOLINT
    // UTF-16 code units as they stand, unpaired surrogates included.
    explicit NameText(std::u16string_view units);
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

    // The UTF-16 code units.
    std::basic_string_view<NameUnit> units() const;
    WideName wide() const;
    std::wstring str() const { return std::wstring(wide()); }
    // Appends the name as UTF-8; unpaired surrogates become U+FFFD, as Utf8FromWide makes them.
    void AppendUtf8(std::string& out) const;
    // Asks for the units to be brought toward the cache, where the platform can: a pass over
    // names in an order their memory does not follow waits on each otherwise.
    void Prefetch() const;
    // The text from the last dot on, as ExtensionView finds it; empty when there is none. Made in
    // `scratch` where the name cannot be read as wide text in place.
    std::wstring_view Extension(std::wstring& scratch) const;
    // The same as code units, read in place.
    std::basic_string_view<NameUnit> ExtensionUnits() const;
    bool empty() const { return length_ == 0; }

    friend bool operator==(const NameText& a, const NameText& b) { return a.units() == b.units(); }
    friend bool operator==(const NameText& a, std::wstring_view b) { return a.Equals(b); }
    friend bool operator==(const NameText& a, const std::wstring& b) { return a.Equals(b); }
    friend bool operator==(const NameText& a, const wchar_t* b) { return a.Equals(b); }
    // In UTF-16 code units, as Windows orders wide text.
    friend std::strong_ordering operator<=>(const NameText& a, const NameText& b) {
        return a.units().compare(b.units()) <=> 0;
    }

    // The characters of one or more names, and how many names (and the pool writing into it)
    // hold it.
    struct Block;

private:
    friend class NamePool;
    NameText(Block* block, std::uint32_t offset, std::uint32_t length);
    bool Equals(std::wstring_view text) const;
    void Retain() const;
    void Release();

    Block* block_ = nullptr;
    std::uint32_t offset_ = 0;
    std::uint32_t length_ = 0;
};

std::wostream& operator<<(std::wostream& out, const NameText& name);

// UTF-16 code units as wide text; unpaired surrogates are kept.
std::wstring WideFromUnits(std::basic_string_view<NameUnit> units);

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
    // UTF-16 code units as they stand, as a record holds them.
    NameText Add(std::u16string_view units);

private:
    NameUnit* Room(std::size_t units);
    NameText Taken(std::size_t units);

    NameText::Block* block_ = nullptr;
};

}  // namespace kestrin
