// Protected Storage through "pstorec.dll", bound late: many systems lack it.
#include <windows.h>
#include <pstore.h>

#include "common/module.h"
#include "common/raii.h"
#include "tidemark/real_system.h"

namespace {

using tPStoreCreateInstance = HRESULT(WINAPI*)(IPStore** store, PST_PROVIDERID* provider,
                                               void* reserved, DWORD flags);

// Enumerations stop here: no real store comes near it, a damaged one must not run away.
const size_t kMaxEntries = 100000;

template <class Enumerator>
void CollectGuids(Enumerator* enumerator, std::vector<GUID>& out)
{
    GUID guid;
    ULONG fetched = 0;
    while (out.size() < kMaxEntries && enumerator->Next(1, &guid, &fetched) == S_OK && fetched == 1)
        out.push_back(guid);
}

class CComProtectedStore : public CProtectedStore {
public:
    explicit CComProtectedStore(raii::CComPtr<IPStore> store) : m_store(std::move(store)) {}

    bool Types(std::vector<GUID>& out) override
    {
        raii::CComPtr<IEnumPStoreTypes> types;
        if (FAILED(m_store->EnumTypes(PST_KEY_CURRENT_USER, 0, types.Receive())) || !types)
            return false;
        CollectGuids(types.Get(), out);
        return true;
    }

    bool Subtypes(const GUID& type, std::vector<GUID>& out) override
    {
        raii::CComPtr<IEnumPStoreTypes> subtypes;
        if (FAILED(m_store->EnumSubtypes(PST_KEY_CURRENT_USER, &type, 0, subtypes.Receive())) ||
            !subtypes)
            return false;
        CollectGuids(subtypes.Get(), out);
        return true;
    }

    bool Items(const GUID& type, const GUID& subtype, std::vector<std::wstring>& out) override
    {
        raii::CComPtr<IEnumPStoreItems> items;
        if (FAILED(m_store->EnumItems(PST_KEY_CURRENT_USER, &type, &subtype, 0, items.Receive())) ||
            !items)
            return false;
        LPWSTR name = nullptr;
        ULONG fetched = 0;
        while (out.size() < kMaxEntries && items->Next(1, &name, &fetched) == S_OK && fetched == 1) {
            out.push_back(name ? name : L"");
            CoTaskMemFree(name);
            name = nullptr;
        }
        return true;
    }

    bool DeleteItem(const GUID& type, const GUID& subtype, const std::wstring& name) override
    {
        PST_PROMPTINFO prompt = {};
        prompt.cbSize = sizeof prompt;
        prompt.szPrompt = L"";
        return SUCCEEDED(m_store->DeleteItem(PST_KEY_CURRENT_USER, &type, &subtype, name.c_str(),
                                             &prompt, 0));
    }

private:
    raii::CComPtr<IPStore> m_store;
};

class CPstorec : public CProtectedStorage {
public:
    bool Load()
    {
        return m_dll.Load("pstorec.dll") && m_dll.Bind(m_create, "PStoreCreateInstance");
    }

    std::unique_ptr<CProtectedStore> CreateStore() override
    {
        raii::CComPtr<IPStore> store;
        if (FAILED(m_create(store.Receive(), nullptr, nullptr, 0)) || !store)
            return nullptr;
        return std::unique_ptr<CProtectedStore>(new CComProtectedStore(std::move(store)));
    }

private:
    // The stores made here live in this DLL: callers release them before this object.
    CDllBinding m_dll;
    tPStoreCreateInstance m_create = nullptr;
};

} // namespace

std::unique_ptr<CProtectedStorage> LoadPstorec()
{
    std::unique_ptr<CPstorec> library(new CPstorec);
    if (!library->Load())
        return nullptr;
    return library;
}
