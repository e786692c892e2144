#include "tandem/app/drop_target.h"

#include <ole2.h>

#include <atomic>
#include <vector>

#include "tandem/share_files.h"

class CFolderDropTarget : public IDropTarget {
public:
    explicit CFolderDropTarget(std::function<void(const std::string&)> dropped) : m_dropped(std::move(dropped)) {}
    virtual ~CFolderDropTarget() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        m_folder = FolderOf(data);
        *effect = m_folder.empty() ? DROPEFFECT_NONE : DROPEFFECT_LINK;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = m_folder.empty() ? DROPEFFECT_NONE : DROPEFFECT_LINK;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        m_folder.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        std::string folder = FolderOf(data);
        m_folder.clear();
        *effect = folder.empty() ? DROPEFFECT_NONE : DROPEFFECT_LINK;
        if (!folder.empty() && m_dropped)
            m_dropped(folder);
        return S_OK;
    }

private:
    static std::string FolderOf(IDataObject* data)
    {
        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        if (!data || FAILED(data->GetData(&format, &medium)))
            return std::string();
        std::string folder;
        if (void* locked = GlobalLock(medium.hGlobal)) {
            folder = FirstDroppedFolder(static_cast<HDROP>(locked));
            GlobalUnlock(medium.hGlobal);
        }
        ReleaseStgMedium(&medium);
        return folder;
    }

    std::atomic<ULONG> m_references{1};
    std::function<void(const std::string&)> m_dropped;
    std::string m_folder;
};

std::string FirstDroppedFolder(HDROP drop)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        std::vector<char> path(length + 1);
        if (DragQueryFileA(drop, i, path.data(), length + 1) && IsExistingFolder(path.data()))
            return path.data();
    }
    return std::string();
}

CFolderDropTarget* RegisterFolderDropTarget(HWND window, std::function<void(const std::string&)> dropped)
{
    auto* target = new CFolderDropTarget(std::move(dropped));
    if (FAILED(RegisterDragDrop(window, target))) {
        target->Release();
        return nullptr;
    }
    return target;
}

void RevokeFolderDropTarget(HWND window, CFolderDropTarget* target)
{
    if (!target)
        return;
    RevokeDragDrop(window);
    target->Release();
}
