#include "scan/common/NameText.h"

#include <algorithm>
#include <cwchar>
#include <limits>
#include <new>
#include <ostream>

#include "scan/common/Utf16Text.h"

namespace kestrin {

struct NameText::Block {
    std::atomic<std::size_t> holders{1};
    std::size_t capacity = 0;  // code units
    std::size_t used = 0;

    NameUnit* Units() { return reinterpret_cast<NameUnit*>(this + 1); }

    static Block* Make(std::size_t capacity) {
        void* memory = ::operator new(sizeof(Block) + capacity * sizeof(NameUnit));
        Block* block = new (memory) Block;
        block->capacity = capacity;
        return block;
    }

    static void Drop(Block* block) {
        // Names are copied and dropped on different threads, as file rows are.
        if (block != nullptr && block->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            block->~Block();
            ::operator delete(block);
        }
    }
};

static_assert(sizeof(NameText) == 16);
static_assert(alignof(NameText::Block) >= alignof(NameUnit));

namespace {

// 8 KiB of UTF-16: a decoding task's two thousand names share a few blocks, and the part of its
// last block it leaves unused stays small beside them.
constexpr std::size_t kBlockUnits = std::size_t{4} << 10;

bool IsHigh(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Wide text as UTF-16 code units: where wchar_t is 32 bits, a code point above U+FFFF becomes a
// surrogate pair, and a lone surrogate stays as it is (the decoder keeps those of a damaged name).
#if WCHAR_MAX > 0xFFFF
std::size_t UnitsOf(std::wstring_view text) {
    std::size_t units = text.size();
    for (const wchar_t c : text) {
        units += static_cast<char32_t>(c) > 0xFFFF ? 1 : 0;
    }
    return units;
}

void WriteUnits(std::wstring_view text, NameUnit* to) {
    for (const wchar_t c : text) {
        const auto point = static_cast<char32_t>(c);
        if (point > 0xFFFF) {
            const char32_t above = std::min<char32_t>(point, 0x10FFFF) - 0x10000;
            *to++ = static_cast<NameUnit>(0xD800 + (above >> 10));
            *to++ = static_cast<NameUnit>(0xDC00 + (above & 0x3FF));
        } else {
            *to++ = static_cast<NameUnit>(c);
        }
    }
}
#else
std::size_t UnitsOf(std::wstring_view text) {
    return text.size();
}

void WriteUnits(std::wstring_view text, NameUnit* to) {
    std::copy(text.begin(), text.end(), to);
}
#endif

// Calls `take` with each code point, a valid surrogate pair joined; `lone` is what an unpaired
// surrogate gives.
template <typename Take>
void ForEachCodePoint(std::basic_string_view<NameUnit> units, bool keepLone, Take&& take) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = static_cast<char16_t>(units[i]);
        if (IsHigh(c) && i + 1 < units.size() && IsLow(static_cast<char16_t>(units[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(units[i + 1]) - 0xDC00);
            ++i;
        } else if (!keepLone && (IsHigh(c) || IsLow(c))) {
            c = 0xFFFD;
        }
        take(c);
    }
}

// Where wchar_t is 16 bits wide the units are wide text as they stand.
#if WCHAR_MAX > 0xFFFF
WideName WideOf(std::basic_string_view<NameUnit> units) {
    WideName text;
    text.reserve(units.size());
    ForEachCodePoint(units, true, [&](char32_t c) { text.push_back(static_cast<wchar_t>(c)); });
    return text;
}

std::wstring_view WideIn(std::basic_string_view<NameUnit> units, std::wstring& scratch) {
    scratch.clear();
    ForEachCodePoint(units, true, [&](char32_t c) { scratch.push_back(static_cast<wchar_t>(c)); });
    return scratch;
}
#else
WideName WideOf(std::basic_string_view<NameUnit> units) {
    return units;
}

std::wstring_view WideIn(std::basic_string_view<NameUnit> units, std::wstring&) {
    return units;
}
#endif

std::uint32_t Length32(std::size_t units) {
    return static_cast<std::uint32_t>(
        std::min<std::size_t>(units, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

NameText::NameText(std::wstring_view text) {
    const std::size_t units = UnitsOf(text);
    if (units == 0 || units > std::numeric_limits<std::uint32_t>::max()) {
        return;
    }
    block_ = Block::Make(units);
    WriteUnits(text, block_->Units());
    block_->used = units;
    length_ = Length32(units);
}

NameText::NameText(std::u16string_view units) {
    if (units.empty() || units.size() > std::numeric_limits<std::uint32_t>::max()) {
        return;
    }
    block_ = Block::Make(units.size());
    std::copy(units.begin(), units.end(), block_->Units());
    block_->used = units.size();
    length_ = Length32(units.size());
}

NameText::NameText(Block* block, std::uint32_t offset, std::uint32_t length)
    : block_(block), offset_(offset), length_(length) {
    Retain();
}

void NameText::Retain() const {
    if (block_ != nullptr) {
        block_->holders.fetch_add(1, std::memory_order_relaxed);
    }
}

void NameText::Release() {
    Block::Drop(std::exchange(block_, nullptr));
}

std::basic_string_view<NameUnit> NameText::units() const {
    if (block_ == nullptr) {
        return {};
    }
    return std::basic_string_view<NameUnit>(block_->Units() + offset_, length_);
}

void NameText::Prefetch() const {
#if defined(__GNUC__)
    if (block_ != nullptr) {
        __builtin_prefetch(block_->Units() + offset_);
    }
#endif
}

WideName NameText::wide() const {
    return WideOf(units());
}

// Runs of ASCII, most of most names, are copied a unit to a byte; the rest goes a code point at
// a time. Every file's path is written this way for the CSV, the ncdu export and --compare.
void NameText::AppendUtf8(std::string& out) const {
    const std::basic_string_view<NameUnit> all = units();
    std::size_t i = 0;
    while (i < all.size()) {
        std::size_t end = i;
        while (end < all.size() && static_cast<char16_t>(all[end]) < 0x80) {
            ++end;
        }
        if (end > i) {
            const std::size_t at = out.size();
            out.resize(at + (end - i));
            for (std::size_t k = i; k < end; ++k) {
                out[at + (k - i)] = static_cast<char>(all[k]);
            }
            i = end;
            continue;
        }
        while (end < all.size() && static_cast<char16_t>(all[end]) >= 0x80) {
            ++end;
        }
        ForEachCodePoint(all.substr(i, end - i), false,
                         [&](char32_t c) { AppendUtf8CodePoint(out, c); });
        i = end;
    }
}

std::basic_string_view<NameUnit> NameText::ExtensionUnits() const {
    const std::basic_string_view<NameUnit> all = units();
    const std::size_t dot = all.rfind(static_cast<NameUnit>(u'.'));
    if (dot == std::basic_string_view<NameUnit>::npos || dot == 0) {
        return {};
    }
    return all.substr(dot);
}

std::wstring_view NameText::Extension(std::wstring& scratch) const {
    const std::basic_string_view<NameUnit> extension = ExtensionUnits();
    return extension.empty() ? std::wstring_view() : WideIn(extension, scratch);
}

bool NameText::Equals(std::wstring_view text) const {
    std::wstring scratch;
    return WideIn(units(), scratch) == text;
}

std::wostream& operator<<(std::wostream& out, const NameText& name) {
    return out << name.str();
}

std::wstring WideFromUnits(std::basic_string_view<NameUnit> units) {
    return std::wstring(WideOf(units));
}

NamePool& NamePool::operator=(NamePool&& other) noexcept {
    if (this != &other) {
        NameText::Block::Drop(block_);
        block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
}

NamePool::~NamePool() {
    NameText::Block::Drop(block_);
}

NameUnit* NamePool::Room(std::size_t units) {
    if (block_ == nullptr || block_->capacity - block_->used < units) {
        NameText::Block::Drop(block_);
        block_ = NameText::Block::Make(kBlockUnits);
    }
    return block_->Units() + block_->used;
}

NameText NamePool::Taken(std::size_t units) {
    const std::size_t offset = block_->used;
    block_->used += units;
    return NameText(block_, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(units));
}

NameText NamePool::Add(std::wstring_view text) {
    const std::size_t units = UnitsOf(text);
    if (units == 0) {
        return {};
    }
    if (units > kBlockUnits / 4) {
        return NameText(text);
    }
    WriteUnits(text, Room(units));
    return Taken(units);
}

NameText NamePool::Add(std::u16string_view units) {
    if (units.empty()) {
        return {};
    }
    if (units.size() > kBlockUnits / 4) {
        return NameText(units);
    }
    std::copy(units.begin(), units.end(), Room(units.size()));
    return Taken(units.size());
}

}  // namespace kestrin
