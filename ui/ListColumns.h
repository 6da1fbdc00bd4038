#pragma once

#include <array>

namespace kestrin {

// One report column: title, width at 96 DPI and alignment. The sub-item number is the index.
struct ListColumn {
    const wchar_t* title;
    int width;
    bool rightAligned;
};

inline constexpr std::array<ListColumn, 9> kTreeColumns{{
    {L"文件夹", 185, false},
    {L"占父目录 %", 130, false},
    {L"大小", 110, true},
    {L"分配", 110, true},
    {L"项目", 90, true},
    {L"文件", 90, true},
    {L"文件夹", 90, true},
    {L"修改时间", 160, false},
    {L"属性", 90, false},
}};

inline constexpr std::array<ListColumn, 4> kExtensionColumns{{
    {L"扩展名", 120, false},
    {L"大小", 120, true},
    {L"占比", 90, true},
    {L"文件数", 90, true},
}};

inline constexpr std::array<ListColumn, 6> kFileColumns{{
    {L"文件名", 240, false},
    {L"路径", 360, false},
    {L"扩展名", 100, false},
    {L"大小", 110, true},
    {L"分配", 110, true},
    {L"修改时间", 160, false},
}};

}  // namespace kestrin
