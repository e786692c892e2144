#include "plexaconf/adapter_layer.h"

#include "common/trace.h"
#include "powerline/receive_filter.h"

namespace {

// How long Start waits for the receive thread to have opened the adapters.
const DWORD kStartWaitMs = 10000;

} // namespace

CAdapterLayer::CAdapterLayer(const tKeyTimings& timings)
    : m_timings(timings),
      m_ready(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_wake(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_firstResult(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_searchDone(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CAdapterLayer::~CAdapterLayer()
{
    Stop();
}

bool CAdapterLayer::Start()
{
    if (m_thread.IsRunning())
        return m_started;
    ResetEvent(m_ready.Get());
    m_started = false;
    if (!m_thread.Start([this](CThread& self) { Run(self); }))
        return false;
    WaitForSingleObject(m_ready.Get(), kStartWaitMs);
    return m_started;
}

void CAdapterLayer::Stop()
{
    m_thread.Stop();
    raii::CLock lock(m_lock);
    m_adapters.clear();
}

void CAdapterLayer::StartSearch(int rounds, int firstResultRound)
{
    raii::CLock lock(m_lock);
    m_searchRequested = true;
    m_requestedRounds = rounds;
    m_requestedFirst = firstResultRound;
    ResetEvent(m_firstResult.Get());
    ResetEvent(m_searchDone.Get());
    SetEvent(m_wake.Get());
}

bool CAdapterLayer::WaitFirstResult(DWORD timeoutMs)
{
    return WaitForSingleObject(m_firstResult.Get(), timeoutMs) == WAIT_OBJECT_0;
}

bool CAdapterLayer::WaitSearchDone(DWORD timeoutMs)
{
    return WaitForSingleObject(m_searchDone.Get(), timeoutMs) == WAIT_OBJECT_0;
}

std::vector<std::shared_ptr<CInternalAdapter>> CAdapterLayer::Adapters() const
{
    raii::CLock lock(m_lock);
    return m_adapters;
}

std::shared_ptr<CInternalAdapter> CAdapterLayer::AdapterOfLocal(const tMacAddress& local) const
{
    for (const std::shared_ptr<CInternalAdapter>& adapter : Adapters())
        if (adapter->FindLocal(local))
            return adapter;
    return nullptr;
}

void CAdapterLayer::OnAdapterEvent(int event, tPortAdapter* adapter, void* user)
{
    CAdapterLayer* self = static_cast<CAdapterLayer*>(user);
    raii::CLock lock(self->m_lock);
    if (event == PORT_ADAPTER_ADDED) {
        auto internal = std::make_shared<CInternalAdapter>(std::make_shared<CWinDis32Adapter>(adapter), self->m_timings);
        adapter->owner = internal.get();
        self->m_adapters.push_back(internal);
        TraceHere("adapter added: %s (%s)\n", adapter->name.c_str(), MacTraceText(internal->Station()).c_str());
        return;
    }
    for (auto it = self->m_adapters.begin(); it != self->m_adapters.end(); ++it)
        if (it->get() == adapter->owner) {
            TraceHere("adapter removed: %s\n", adapter->name.c_str());
            (*it)->Raw().Detach();
            self->m_adapters.erase(it);
            break;
        }
    adapter->owner = nullptr;
}

void CAdapterLayer::OnReadFailure(tPortAdapter*, unsigned long error, void*)
{
    TraceHere("Error while calling W32N_PacketRead: %d\n", static_cast<int>(error));
}

void CAdapterLayer::Run(CThread& self)
{
    m_port = PortCreate(OnAdapterEvent, this, 0, kPowerlineReceiveFilter, kPowerlineFilterBytes);
    if (m_port) {
        PortSetReadFailureHandler(m_port, OnReadFailure);
        m_started = PortScanAdapters(m_port);
    }
    SetEvent(m_ready.Get());
    if (!m_port)
        return;
    HANDLE handles[2] = {self.StopEvent(), m_wake.Get()};
    for (;;) {
        DWORD which = WAIT_TIMEOUT;
        tReceivedFrame* frame = PortWait(m_port, handles, 2, &which, NextSearchWait());
        if (frame) {
            if (CInternalAdapter* adapter = static_cast<CInternalAdapter*>(frame->adapter->owner))
                adapter->OnFrame(frame->data, frame->length);
        } else if (which == WAIT_OBJECT_0) {
            break;
        } else if (which == WAIT_OBJECT_0 + 1) {
            BeginSearch();
        }
        SearchTick();
    }
    PortDestroy(m_port);
    m_port = nullptr;
}

void CAdapterLayer::BeginSearch()
{
    int rounds, first;
    {
        raii::CLock lock(m_lock);
        if (!m_searchRequested)
            return;
        m_searchRequested = false;
        rounds = m_requestedRounds;
        first = m_requestedFirst;
    }
    PortScanAdapters(m_port);
    for (const std::shared_ptr<CInternalAdapter>& adapter : Adapters())
        adapter->ClearSearch();
    m_roundsLeft = rounds;
    m_roundsSent = 0;
    m_firstRound = first;
    m_nextRound = GetTickCount();
    m_searching = true;
}

void CAdapterLayer::SearchTick()
{
    if (!m_searching || static_cast<LONG>(GetTickCount() - m_nextRound) < 0)
        return;
    // Each round's answers have had their time when the next one is due.
    if (m_roundsSent >= m_firstRound)
        SetEvent(m_firstResult.Get());
    if (m_roundsLeft <= 0) {
        m_searching = false;
        SetEvent(m_firstResult.Get());
        SetEvent(m_searchDone.Get());
        return;
    }
    for (const std::shared_ptr<CInternalAdapter>& adapter : Adapters())
        adapter->SendSearchRound();
    ++m_roundsSent;
    --m_roundsLeft;
    m_nextRound += kSearchRoundMs;
}

int CAdapterLayer::NextSearchWait() const
{
    if (!m_searching)
        return -1;
    LONG left = static_cast<LONG>(m_nextRound - GetTickCount());
    return left > 0 ? static_cast<int>(left) : 0;
}
