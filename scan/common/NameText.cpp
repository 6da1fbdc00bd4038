#include "scan/common/NameText.h"

#include <algorithm>
#include <limits>
#include <new>
#include <ostream>

namespace kestrin {

struct NameText::Block {
    std::atomic<std::size_t> holders{1};
    std::size_t capacity = 0;  // characters
    std::size_t used = 0;

    wchar_t* Chars() { return reinterpret_cast<wchar_t*>(this + 1); }

    static Block* Make(std::size_t capacity) {
        void* memory = ::operator new(sizeof(Block) + capacity * sizeof(wchar_t));
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
static_assert(alignof(NameText::Block) >= alignof(wchar_t));

namespace {

// 16 KiB where wchar_t is four bytes: a decoding task's two thousand names share a few blocks,
// and the part of its last block it leaves unused stays small beside them.
constexpr std::size_t kBlockCharacters = std::size_t{4} << 10;

// A name longer than a block, or one made on its own, gets a block of its length.
NameText::Block* CopyIntoNewBlock(std::wstring_view text, std::size_t capacity) {
    NameText::Block* block = NameText::Block::Make(capacity);
    std::copy(text.begin(), text.end(), block->Chars());
    block->used = text.size();
    return block;
}

std::uint32_t Length32(std::wstring_view text) {
    return static_cast<std::uint32_t>(
        std::min<std::size_t>(text.size(), std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

NameText::NameText(std::wstring_view text) {
    if (text.empty()) {
        return;
    }
    text = text.substr(0, Length32(text));
    block_ = CopyIntoNewBlock(text, text.size());
    length_ = static_cast<std::uint32_t>(text.size());
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

std::wstring_view NameText::view() const {
    if (block_ == nullptr) {
        return {};
    }
    return std::wstring_view(block_->Chars() + offset_, length_);
}

std::wostream& operator<<(std::wostream& out, const NameText& name) {
    return out << name.view();
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

NameText NamePool::Add(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > kBlockCharacters / 4) {
        return NameText(text);
    }
    if (block_ == nullptr || block_->capacity - block_->used < text.size()) {
        NameText::Block::Drop(block_);
        block_ = NameText::Block::Make(kBlockCharacters);
    }
    const std::size_t offset = block_->used;
    std::copy(text.begin(), text.end(), block_->Chars() + offset);
    block_->used += text.size();
    return NameText(block_, static_cast<std::uint32_t>(offset),
                    static_cast<std::uint32_t>(text.size()));
}

}  // namespace kestrin
