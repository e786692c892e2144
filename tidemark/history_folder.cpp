// The shell's History folder: its first entry, and that entry's items deleted one by one
// with the shell's own "delete" verb.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <memory>

#include "common/raii.h"
#include "tidemark/confirmation_hook.h"
#include "tidemark/system_access.h"

namespace {

struct tPidlFree {
    void operator()(ITEMIDLIST* pidl) const { CoTaskMemFree(pidl); }
};
using tPidl = std::unique_ptr<ITEMIDLIST, tPidlFree>;

// No History folder entry holds more than this; enumerations stop there.
const unsigned kMaxItems = 1000000;

// Hands each item of a folder (folders and non-folders) to `take` until it answers false.
template <class F>
void EnumerateItems(IShellFolder* folder, F take)
{
    raii::CComPtr<IEnumIDList> items;
    if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items.Receive()) != S_OK || !items)
        return;
    ITEMIDLIST* item = nullptr;
    ULONG fetched = 0;
    for (unsigned n = 0; n < kMaxItems && items->Next(1, &item, &fetched) == S_OK && fetched == 1; ++n)
        if (!take(tPidl(item)))
            return;
}

std::string DisplayName(IShellFolder* folder, const ITEMIDLIST* item, SHGDNF flags)
{
    STRRET name = {};
    if (FAILED(folder->GetDisplayNameOf(item, flags, &name)))
        return std::string();
    char text[MAX_PATH * 4] = {};
    // StrRetToBuf frees what the folder allocated for the name.
    if (FAILED(StrRetToBufA(&name, item, text, sizeof text)))
        return std::string();
    return text;
}

// The bytes of a relative item identifier: equal bytes, same item.
std::string Identity(const ITEMIDLIST* item)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(item);
    return std::string(reinterpret_cast<const char*>(bytes), ILGetSize(item));
}

// The URL cache keeps its own index in a folder of the History folder. On Windows the shell
// hides it; where the History folder is a plain folder it shows, and deleting it would take
// the cache's history entries along.
bool IsCacheContainer(IShellFolder* folder, const ITEMIDLIST* item)
{
    std::string path = DisplayName(folder, item, SHGDN_FORPARSING);
    if (path.empty())
        return false;
    DWORD attributes = GetFileAttributesA((path + "\\index.dat").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void InvokeDelete(IShellFolder* folder, const ITEMIDLIST* item, HWND owner)
{
    raii::CComPtr<IContextMenu> menu;
    if (FAILED(folder->GetUIObjectOf(owner, 1, &item, IID_IContextMenu, nullptr, menu.ReceiveVoid())) ||
        !menu)
        return;
    HMENU popup = CreatePopupMenu();
    if (popup)
        menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    CMINVOKECOMMANDINFO invoke = {};
    invoke.cbSize = sizeof invoke;
    invoke.fMask = CMIC_MASK_FLAG_NO_UI;
    invoke.hwnd = owner;
    invoke.lpVerb = "delete";
    invoke.nShow = SW_SHOWNORMAL;
    {
        CConfirmationHook hook(owner);
        menu->InvokeCommand(&invoke);
    }
    if (popup)
        DestroyMenu(popup);
}

class CShellHistoryFolder : public CHistoryFolder {
public:
    explicit CShellHistoryFolder(raii::CComPtr<IShellFolder> history) : m_history(std::move(history)) {}

    bool SelectFirstEntry() override
    {
        EnumerateItems(m_history.Get(), [this](tPidl entry) {
            if (IsCacheContainer(m_history.Get(), entry.get()))
                return true;
            m_entryItem = std::move(entry);
            return false;
        });
        if (!m_entryItem)
            return false;
        // An entry that is no folder has no children; it is still deleted at the end.
        m_history->BindToObject(m_entryItem.get(), nullptr, IID_IShellFolder, m_entry.ReceiveVoid());
        return true;
    }

    unsigned CountChildren() override
    {
        unsigned count = 0;
        if (m_entry)
            EnumerateItems(m_entry.Get(), [&count](tPidl) {
                ++count;
                return true;
            });
        return count;
    }

    bool FirstChild(tHistoryItem& child) override
    {
        m_child.reset();
        if (!m_entry)
            return false;
        EnumerateItems(m_entry.Get(), [this](tPidl item) {
            m_child = std::move(item);
            return false;
        });
        if (!m_child)
            return false;
        child.name = DisplayName(m_entry.Get(), m_child.get(), SHGDN_NORMAL);
        child.id = Identity(m_child.get());
        return true;
    }

    void DeleteChild(HWND owner) override
    {
        if (m_entry && m_child)
            InvokeDelete(m_entry.Get(), m_child.get(), owner);
    }

    void DeleteEntry(HWND owner) override
    {
        if (!m_entryItem)
            return;
        // Nothing of the entry stays held while it is deleted.
        m_child.reset();
        m_entry.Release();
        InvokeDelete(m_history.Get(), m_entryItem.get(), owner);
    }

private:
    raii::CComPtr<IShellFolder> m_history;
    tPidl m_entryItem;
    raii::CComPtr<IShellFolder> m_entry;
    tPidl m_child;
};

} // namespace

std::unique_ptr<CHistoryFolder> OpenShellHistoryFolder()
{
    ITEMIDLIST* location = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_HISTORY, &location)) || !location)
        return nullptr;
    tPidl history(location);
    raii::CComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.Receive())) || !desktop)
        return nullptr;
    raii::CComPtr<IShellFolder> folder;
    if (FAILED(desktop->BindToObject(history.get(), nullptr, IID_IShellFolder, folder.ReceiveVoid())) ||
        !folder)
        return nullptr;
    return std::unique_ptr<CHistoryFolder>(new CShellHistoryFolder(std::move(folder)));
}
