#include "shell/ContextMenu.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

namespace kestrin {

namespace {

struct CoTaskMemDeleter {
    void operator()(void* memory) const { ::CoTaskMemFree(memory); }
};
using UniqueIdList = std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter>;

// Owns one COM interface pointer and releases it.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }
    void** Receive() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

struct MenuDeleter {
    void operator()(HMENU menu) const { ::DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;

void RunMenu(HWND owner, IContextMenu& menuObject, POINT point) {
    const UniqueMenu menu(::CreatePopupMenu());
    if (!menu) {
        return;
    }
    if (FAILED(
            menuObject.QueryContextMenu(menu.get(), 0, kFirstCommand, kLastCommand, CMF_NORMAL))) {
        return;
    }
    const UINT command = static_cast<UINT>(::TrackPopupMenu(
        menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, owner, nullptr));
    if (command == 0) {
        return;
    }
    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof invoke;
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(command - kFirstCommand);
    invoke.nShow = SW_SHOWNORMAL;
    menuObject.InvokeCommand(&invoke);
}

}  // namespace

void ShowItemContextMenu(HWND owner, const std::wstring& path, POINT screenPoint) {
    if (path.empty()) {
        return;
    }
    PIDLIST_ABSOLUTE absolute = nullptr;
    if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &absolute, 0, nullptr)) ||
        absolute == nullptr) {
        return;
    }
    const UniqueIdList idList(absolute);
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    // Shell extensions have been seen to report success and hand out nothing.
    if (FAILED(::SHBindToParent(absolute, IID_IShellFolder, parent.Receive(), &child)) ||
        parent.Get() == nullptr) {
        return;
    }
    ComPtr<IContextMenu> menuObject;
    if (FAILED(parent->GetUIObjectOf(owner, 1, &child, IID_IContextMenu, nullptr,
                                     menuObject.Receive())) ||
        menuObject.Get() == nullptr) {
        return;
    }
    RunMenu(owner, *menuObject.Get(), screenPoint);
}

}  // namespace kestrin
