#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// Space of one volume. free is what the calling user may still use (quotas count), used the
// rest of the total; a failed query gives zeros.
struct DiskSpace {
    std::int64_t total = 0;
    std::int64_t free = 0;
    std::int64_t used = 0;
};

// The drive selector's entry: "[C:]", plus a space and the label when there is one.
std::wstring DriveEntryText(wchar_t letter, std::wstring_view label);

// The letter a selector entry names; "C" when nothing is selected or the entry has another form.
std::wstring DriveLetterOfEntry(std::wstring_view entry);

// The space panel's three lines: total, used and free.
std::array<std::wstring, 3> SpacePanelTexts(const DiskSpace& space);

}  // namespace kestrin
