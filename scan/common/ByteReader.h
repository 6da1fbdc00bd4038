#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace kestrin {

// Little-endian reads over a byte span. Every read is bounds-checked: callers test `Has` before
// they rely on a value, and a read outside the span yields 0 instead of touching memory that is
// not ours. On-disk structures are never overlaid with structs, so alignment and padding of the
// host compiler never matter.
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Size() const { return bytes_.size(); }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

    // True when [offset, offset + length) lies inside the span; safe against overflow.
    bool Has(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    // The sub-span [offset, offset + length), or an empty reader when it does not fit.
    ByteReader Sub(std::size_t offset, std::size_t length) const {
        if (!Has(offset, length)) {
            return ByteReader();
        }
        return ByteReader(bytes_.subspan(offset, length));
    }

    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? bytes_[offset] : 0; }
    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(Fixed<2>(offset));
    }
    std::uint32_t U32(std::size_t offset) const {
        return static_cast<std::uint32_t>(Fixed<4>(offset));
    }
    std::uint64_t U64(std::size_t offset) const { return Fixed<8>(offset); }
    std::int64_t I64(std::size_t offset) const { return static_cast<std::int64_t>(U64(offset)); }
    // NTFS file references carry the record number in their low 48 bits.
    std::int64_t U48(std::size_t offset) const {
        return static_cast<std::int64_t>(Fixed<6>(offset));
    }

    // An unsigned little-endian number of `width` bytes (0..8).
    std::uint64_t Unsigned(std::size_t offset, std::size_t width) const {
        if (width > 8 || !Has(offset, width)) {
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = width; i > 0; --i) {
            value = (value << 8) | bytes_[offset + i - 1];
        }
        return value;
    }

    // A little-endian number of `width` bytes (1..8) sign-extended from its top bit.
    std::int64_t Signed(std::size_t offset, std::size_t width) const {
        if (width == 0 || width > 8 || !Has(offset, width)) {
            return 0;
        }
        std::uint64_t value = Unsigned(offset, width);
        if (width < 8 && (value >> (width * 8 - 1)) != 0) {
            value |= ~std::uint64_t{0} << (width * 8);
        }
        return static_cast<std::int64_t>(value);
    }

private:
    // A number of a width known when compiling. The bytes are copied into the value, never read
    // through a cast pointer: the copy is one unaligned load on little-endian hosts, where the
    // byte loop stayed a loop in the record decoder's hottest paths.
    template <std::size_t Width>
    std::uint64_t Fixed(std::size_t offset) const {
        static_assert(Width >= 1 && Width <= 8);
        if (!Has(offset, Width)) {
            return 0;
        }
        if constexpr (std::endian::native == std::endian::little) {
            std::uint64_t value = 0;
            std::memcpy(&value, bytes_.data() + offset, Width);
            return value;
        } else {
            return Unsigned(offset, Width);
        }
    }

    std::span<const std::uint8_t> bytes_;
};

}  // namespace kestrin
