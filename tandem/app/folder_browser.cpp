#include "tandem/app/folder_browser.h"

#include <shlobj.h>

#include "common/raii.h"

namespace {

struct tHookSlot {
    raii::CCriticalSection lock;
    tFolderBrowserHook hook;
};

tHookSlot& Slot()
{
    static tHookSlot slot;
    return slot;
}

int CALLBACK StartAt(HWND window, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data)
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

} // namespace

void SetFolderBrowserHook(tFolderBrowserHook hook)
{
    raii::CLock lock(Slot().lock);
    Slot().hook = std::move(hook);
}

bool BrowseForFolder(HWND owner, const std::string& title, const std::string& start, std::string& chosen)
{
    tFolderBrowserHook hook;
    {
        raii::CLock lock(Slot().lock);
        hook = Slot().hook;
    }
    if (hook)
        return hook(title, start, chosen);

    char display[MAX_PATH] = "";
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = display;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = StartAt;
    info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list)
        return false;
    char path[MAX_PATH] = "";
    bool ok = SHGetPathFromIDListA(list, path) != FALSE;
    CoTaskMemFree(list);
    if (ok)
        chosen = path;
    return ok && !chosen.empty();
}
