// The URL history store through IUrlHistoryStg2.
#include <windows.h>
#include <urlhist.h>

#include "common/raii.h"
#include "tidemark/real_system.h"

namespace {

// The store's class and interface (the MinGW headers lack the class).
const CLSID kClsidCUrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
const IID kIidIUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

class CComUrlHistory : public CUrlHistoryStore {
public:
    explicit CComUrlHistory(raii::CComPtr<IUrlHistoryStg2> store) : m_store(std::move(store)) {}

    bool StartEnumeration() override
    {
        if (FAILED(m_store->EnumUrls(m_urls.Receive())) || !m_urls)
            return false;
        m_urls->Reset();
        return true;
    }

    void Clear() override { m_store->ClearHistory(); }

    bool Next(std::wstring& url) override
    {
        if (!m_urls)
            return false;
        STATURL record = {};
        record.cbSize = sizeof record;
        ULONG fetched = 0;
        if (m_urls->Next(1, &record, &fetched) != S_OK || fetched != 1)
            return false;
        url = record.pwcsUrl ? record.pwcsUrl : L"";
        CoTaskMemFree(record.pwcsUrl);
        CoTaskMemFree(record.pwcsTitle);
        return true;
    }

    void Delete(const std::wstring& url) override { m_store->DeleteUrl(url.c_str(), 0); }

private:
    raii::CComPtr<IUrlHistoryStg2> m_store;
    raii::CComPtr<IEnumSTATURL> m_urls;
};

} // namespace

std::unique_ptr<CUrlHistoryStore> OpenComUrlHistory()
{
    raii::CComPtr<IUrlHistoryStg2> store;
    if (FAILED(CoCreateInstance(kClsidCUrlHistory, nullptr, CLSCTX_INPROC_SERVER,
                                kIidIUrlHistoryStg2, store.ReceiveVoid())) ||
        !store)
        return nullptr;
    return std::unique_ptr<CUrlHistoryStore>(new CComUrlHistory(std::move(store)));
}
