// Names kept in shared blocks: they must read back as added, whatever outlives what.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "render/Format.h"
#include "scan/common/NameText.h"
#include "scan/common/Utf16Text.h"

namespace kestrin {
namespace {

TEST(NameText, NamesReadBackAfterTheirPoolAndTheirCopiesAreGoneOnAnyThread) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < 5000; ++i) {  // many blocks' worth
        texts.push_back(L"file-" + std::to_wstring(i) + (i % 7 == 0 ? L".txt" : L""));
    }
    texts.push_back(std::wstring(20000, L'x'));  // longer than a block
    texts.push_back(L"");
    texts.push_back(L"\u6587\u4ef6\U0001F600.\U0001F600");
    texts.push_back(std::wstring(L"bad") + static_cast<wchar_t>(0xD800) +
                    L".t");  // a lone surrogate

    std::vector<NameText> names;
    {
        NamePool pool;
        for (const std::wstring& text : texts) {
            names.push_back(pool.Add(text));
        }
    }
    // Half the copies are dropped on another thread while this one reads the rest.
    std::vector<NameText> copies(names.begin(), names.end());
    std::thread dropper([&] {
        for (std::size_t i = 0; i < copies.size(); i += 2) {
            copies[i] = NameText();
        }
    });
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(names[i].str(), texts[i]) << i;
    }
    dropper.join();
    names.clear();
    for (std::size_t i = 1; i < copies.size(); i += 2) {
        ASSERT_EQ(copies[i], texts[i]) << i;
    }
    // Kept as UTF-16, written out as the wide text would be.
    for (const std::wstring& text : texts) {
        const NameText name(text);
        std::string utf8 = "x";
        name.AppendUtf8(utf8);
        EXPECT_EQ(utf8, "x" + Utf8FromWide(text));
        std::wstring scratch;
        EXPECT_EQ(name.Extension(scratch), ExtensionView(text));
        EXPECT_EQ(name, text);
    }
    EXPECT_TRUE(NameText().empty());
    EXPECT_LT(NameText(L"a.txt"), NameText(L"b"));
    EXPECT_EQ(NameText(texts[3]).str(), texts[3]);
}

}  // namespace
}  // namespace kestrin
