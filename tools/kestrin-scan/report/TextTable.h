#pragma once

#include <string>
#include <vector>

namespace kestrin {

// A table whose text column comes last, so the numeric columns line up however long the names
// are; the other columns are right-aligned by their display width.
class TextTable {
public:
    explicit TextTable(std::vector<std::wstring> headings) { rows_.push_back(std::move(headings)); }
    void Add(std::vector<std::wstring> cells) { rows_.push_back(std::move(cells)); }
    // UTF-8, one line per row.
    std::string Text() const;

private:
    std::vector<std::vector<std::wstring>> rows_;
};

}  // namespace kestrin
