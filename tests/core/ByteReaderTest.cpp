#include <gtest/gtest.h>

#include <vector>

#include "scan/common/ByteReader.h"
#include "scan/common/Utf16Text.h"

namespace kestrin {
namespace {

TEST(ByteReader, BoundsHoldAtTheEdgesAndAgainstOverflow) {
    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    const ByteReader reader(bytes);
    EXPECT_TRUE(reader.Has(0, 8));
    EXPECT_TRUE(reader.Has(8, 0));
    EXPECT_FALSE(reader.Has(1, 8));
    EXPECT_FALSE(reader.Has(9, 0));
    EXPECT_FALSE(reader.Has(4, SIZE_MAX));
    EXPECT_FALSE(reader.Has(SIZE_MAX, 2));
    EXPECT_EQ(reader.U32(4), 0x88070605u);
    EXPECT_EQ(reader.U32(5), 0u);  // would cross the end
    EXPECT_EQ(reader.U48(0), 0x060504030201);
    EXPECT_EQ(reader.Sub(6, 4).Size(), 0u);
}

// The fixed-width reads are single loads on this host; they must agree with the byte-wise read
// at every offset, up to and past the end.
TEST(ByteReader, FixedWidthReadsMatchTheByteWiseRead) {
    const std::vector<std::uint8_t> bytes = {0x11, 0xF2, 0x33, 0x84, 0x55, 0x06,
                                             0x77, 0xA8, 0x99, 0x0A, 0xBB};
    const ByteReader reader(bytes);
    for (std::size_t offset = 0; offset <= bytes.size() + 1; ++offset) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(reader.U16(offset), reader.Unsigned(offset, 2));
        EXPECT_EQ(reader.U32(offset), reader.Unsigned(offset, 4));
        EXPECT_EQ(static_cast<std::uint64_t>(reader.U48(offset)), reader.Unsigned(offset, 6));
        EXPECT_EQ(reader.U64(offset), reader.Unsigned(offset, 8));
    }
    EXPECT_EQ(reader.U64(3), 0xBB0A99A877065584u);
    EXPECT_EQ(reader.U16(10), 0u);  // one byte left
}

TEST(ByteReader, SignedFieldsExtendFromTheirTopByte) {
    const std::vector<std::uint8_t> bytes = {0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const ByteReader reader(bytes);
    EXPECT_EQ(reader.Signed(0, 1), -1);
    EXPECT_EQ(reader.Signed(0, 2), 0x7FFF);
    EXPECT_EQ(reader.Signed(2, 2), -32768);
    EXPECT_EQ(reader.Signed(3, 8), -128);
    EXPECT_EQ(reader.Signed(0, 9), 0);
}

TEST(Utf16Text, SurrogatePairsAndLoneSurrogates) {
    // "a", U+1F600 as a pair, a lone high surrogate, "z".
    const std::vector<std::uint8_t> bytes = {0x61, 0x00, 0x3D, 0xD8, 0x00,
                                             0xDE, 0x3D, 0xD8, 0x7A, 0x00};
    const std::wstring text = WideFromUtf16Le(ByteReader(bytes), 0, 5);
    EXPECT_EQ(Utf8FromWide(text), "a\xF0\x9F\x98\x80\xEF\xBF\xBDz");
    EXPECT_TRUE(WideFromUtf16Le(ByteReader(bytes), 4, 4).empty());  // does not fit
    EXPECT_EQ(WideFromUtf8("\xE6\x96\x87\xF0\x9F\x98\x80"), L"\u6587\U0001F600");
    EXPECT_EQ(WideFromUtf8("a\xC0\x80"
                           "b\xFF"),
              L"a\uFFFD\uFFFDb\uFFFD");
}

}  // namespace
}  // namespace kestrin
