#include "plugins/plexa/packet_port.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <deque>
#include <vector>

#include "plugins/plexa/rawport_api.h"

struct tPendingReadList {
    std::deque<tPendingRead*> items;
};
struct tQueuedFrameList {
    std::deque<tQueuedFrame*> items;
};
struct tPortAdapterList {
    std::vector<tPortAdapter*> items;
};

namespace {

// A send that rawport reports as pending is waited for, but not forever: a send that never
// completes must not stop discovery for good.
const DWORD kSendCompletionLimitMs = 5000;

class CPortLock {
public:
    explicit CPortLock(CRITICAL_SECTION* section) : m_section(section) { EnterCriticalSection(m_section); }
    ~CPortLock() { LeaveCriticalSection(m_section); }
    CPortLock(const CPortLock&) = delete;
    CPortLock& operator=(const CPortLock&) = delete;

private:
    CRITICAL_SECTION* m_section;
};

bool NdisRequest(const tRawportApi* api, tPortAdapter* adapter, uint32_t kind, uint32_t oid,
                 void* buffer, uint32_t length)
{
    tNdisRequest request;
    memset(&request, 0, sizeof request);
    request.kind = kind;
    request.oid = oid;
    request.buffer = buffer;
    request.length = length;
    request.needed = kind == kNdisQuery ? length : 0;
    return api->MakeNdisRequest(adapter->handle, &request, &adapter->overlapped, 1) == 0;
}

void PostRead(const tRawportApi* api, tPortAdapter* adapter, tPendingRead* read)
{
    read->packet.capacity = sizeof read->packet.frame;
    read->packet.status = 0;
    read->packet.length = 0;
    api->PacketRead(adapter->handle, &read->packet, read->word, &read->overlapped, 0);
}

void SendNow(tPortAdapter* adapter, const void* frame, size_t length)
{
    const tRawportApi* api = RawportApi();
    if (!api)
        return;
    unsigned long sent = 0;
    if (!api->PacketSend(adapter->handle, frame, static_cast<unsigned>(length), &sent, &adapter->overlapped) &&
        api->GetLastError() == kRawIoPending)
        WaitForSingleObject(adapter->overlapped.hEvent, kSendCompletionLimitMs);
}

void FreeAdapterRecord(tPortAdapter* adapter)
{
    if (adapter->overlapped.hEvent)
        CloseHandle(adapter->overlapped.hEvent);
    delete adapter->reads;
    delete adapter->queue;
    free(adapter->name);
    delete adapter;
}

DWORD WINAPI SenderThread(void* parameter)
{
    tPacketPort* port = static_cast<tPacketPort*>(parameter);
    while (!port->senderStop) {
        DWORD wait = INFINITE;
        {
            CPortLock portLock(&port->lock);
            for (tPortAdapter* adapter : port->adapters->items) {
                CPortLock adapterLock(&adapter->lock);
                std::deque<tQueuedFrame*>& queue = adapter->queue->items;
                while (!queue.empty() &&
                       GetTickCount() - adapter->lastSend >= adapter->gapAfterLastSend) {
                    tQueuedFrame* frame = queue.front();
                    queue.pop_front();
                    SendNow(adapter, frame->bytes, frame->length);
                    // A burst keeps its spacing: the next slot counts from the last one.
                    adapter->lastSend += adapter->gapAfterLastSend;
                    adapter->gapAfterLastSend = frame->gap;
                    free(frame);
                }
                if (!queue.empty()) {
                    DWORD elapsed = GetTickCount() - adapter->lastSend;
                    DWORD left = adapter->gapAfterLastSend > elapsed ? adapter->gapAfterLastSend - elapsed : 0;
                    if (left < wait)
                        wait = left;
                }
            }
        }
        WaitForSingleObject(port->senderWake, wait);
    }
    return 0;
}

} // namespace

tPacketPort* PortCreate(tPortCallback callback, void* user, uint8_t promiscuous,
                        const void* program, size_t programLength)
{
    tPacketPort* port = new tPacketPort();
    port->callback = callback;
    port->user = user;
    port->promiscuous = promiscuous;
    if (program && programLength) {
        port->program = static_cast<uint8_t*>(malloc(programLength));
        if (port->program) {
            memcpy(port->program, program, programLength);
            port->programLength = programLength;
        }
    }
    port->postedReads = kPortPostedReads;
    InitializeCriticalSection(&port->lock);
    port->adapters = new tPortAdapterList;
    return port;
}

bool PortScanAdapters(tPacketPort* port)
{
    const tRawportApi* api = RawportApi();
    if (!port || !api)
        return false;
    int list = api->OpenList();
    if (list == -1)
        return false;
    for (int entry = api->FirstEntry(list); entry != -1; entry = api->NextEntry(list, entry)) {
        unsigned long size = 0;
        api->EntryName(entry, nullptr, &size);
        if (size > 0 && size < 4096) {
            std::vector<char> name(size + 1, '\0');
            if (api->EntryName(entry, name.data(), &size))
                PortAddAdapter(port, name.data());
        }
        api->ReleaseEntry(entry);
    }
    api->CloseList(list);
    return true;
}

void PortAddAdapter(tPacketPort* port, const char* name)
{
    const tRawportApi* api = RawportApi();
    if (!port || !name || !api)
        return;
    for (tPortAdapter* existing : port->adapters->items)
        if (strcasecmp(existing->name, name) == 0)
            return;
    int handle = api->OpenAdapter(name);
    if (handle == -1)
        return;

    tPortAdapter* adapter = new tPortAdapter();
    adapter->name = strdup(name);
    adapter->handle = handle;
    adapter->overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    adapter->reads = new tPendingReadList;
    adapter->queue = new tQueuedFrameList;
    adapter->port = port;

    uint32_t filter = port->promiscuous ? 0x20 : 0x09;
    bool ok = adapter->name && adapter->overlapped.hEvent &&
              NdisRequest(api, adapter, kNdisQuery, OID_802_3_CURRENT_ADDRESS_, adapter->station, 6) &&
              NdisRequest(api, adapter, kNdisSet, OID_GEN_CURRENT_PACKET_FILTER_, &filter, 4) &&
              (!port->program ||
               api->SetBPFProgram(handle, port->program, static_cast<unsigned>(port->programLength)));
    if (!ok) {
        // Tried again at the next scan.
        api->CloseAdapter(handle);
        FreeAdapterRecord(adapter);
        return;
    }

    InitializeCriticalSection(&adapter->lock);
    for (int i = 0; i < port->postedReads; ++i) {
        tPendingRead* read = static_cast<tPendingRead*>(calloc(1, sizeof(tPendingRead)));
        if (!read)
            break;
        read->overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        adapter->reads->items.push_back(read);
        PostRead(api, adapter, read);
    }
    {
        CPortLock lock(&port->lock);
        adapter->position = static_cast<int>(port->adapters->items.size());
        port->adapters->items.push_back(adapter);
    }
    if (port->callback)
        port->callback(PORT_ADAPTER_ADDED, adapter, port->user);
}

void PortRemoveAdapter(tPacketPort* port, tPortAdapter* adapter)
{
    const tRawportApi* api = RawportApi();
    if (!port || !adapter)
        return;
    if (port->callback)
        port->callback(PORT_ADAPTER_REMOVED, adapter, port->user);
    {
        CPortLock lock(&port->lock);
        std::vector<tPortAdapter*>& items = port->adapters->items;
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == adapter) {
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        for (size_t i = 0; i < items.size(); ++i)
            items[i]->position = static_cast<int>(i);
    }
    for (tPendingRead* read : adapter->reads->items) {
        if (api)
            api->CancelPacketRead(adapter->handle, &read->packet);
        CloseHandle(read->overlapped.hEvent);
        free(read);
    }
    adapter->reads->items.clear();
    if (api)
        api->CloseAdapter(adapter->handle);
    {
        CPortLock lock(&adapter->lock);
        for (tQueuedFrame* frame : adapter->queue->items)
            free(frame);
        adapter->queue->items.clear();
    }
    DeleteCriticalSection(&adapter->lock);
    FreeAdapterRecord(adapter);
}

tPortAdapter* PortFirstAdapter(tPacketPort* port)
{
    return port && !port->adapters->items.empty() ? port->adapters->items.front() : nullptr;
}

tPortAdapter* PortNextAdapter(tPortAdapter* adapter)
{
    if (!adapter)
        return nullptr;
    std::vector<tPortAdapter*>& items = adapter->port->adapters->items;
    size_t next = static_cast<size_t>(adapter->position) + 1;
    return next < items.size() ? items[next] : nullptr;
}

int PortAdapterCount(tPacketPort* port)
{
    return port ? static_cast<int>(port->adapters->items.size()) : 0;
}

void PortRearm(tReceivedFrame* frame)
{
    const tRawportApi* api = RawportApi();
    if (!frame || !frame->adapter || !api)
        return;
    tPortAdapter* adapter = frame->adapter;
    std::deque<tPendingRead*>& reads = adapter->reads->items;
    adapter->frame.data = nullptr;
    adapter->frame.length = 0;
    if (reads.empty())
        return;
    tPendingRead* read = reads.front();
    reads.pop_front();
    reads.push_back(read);
    PostRead(api, adapter, read);
}

tReceivedFrame* PortWait(tPacketPort* port, const HANDLE* handles, int handleCount, DWORD* which,
                         int timeoutMs)
{
    std::vector<HANDLE> array(handles, handles + handleCount);
    std::vector<tPortAdapter*> owners;
    if (port) {
        for (tPortAdapter* adapter : port->adapters->items) {
            if (adapter->frame.data)
                PortRearm(&adapter->frame);
            if (!adapter->reads->items.empty()) {
                array.push_back(adapter->reads->items.front()->overlapped.hEvent);
                owners.push_back(adapter);
            }
        }
    }
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD wait = timeoutMs < 0 ? INFINITE
                                   : (elapsed >= static_cast<DWORD>(timeoutMs) ? 0 : static_cast<DWORD>(timeoutMs) - elapsed);
        DWORD result;
        if (array.empty()) {
            Sleep(wait == INFINITE ? 1000 : wait);
            if (wait == INFINITE)
                continue;
            result = WAIT_TIMEOUT;
        } else {
            result = WaitForMultipleObjects(static_cast<DWORD>(array.size()), array.data(), FALSE, wait);
        }
        DWORD first = WAIT_OBJECT_0 + static_cast<DWORD>(handleCount);
        if (result >= first && result < WAIT_OBJECT_0 + array.size()) {
            size_t index = result - first;
            tPortAdapter* adapter = owners[index];
            tPendingRead* read = adapter->reads->items.front();
            if (read->packet.status != 0) {
                // The adapter is gone; the others keep their time-out.
                PortRemoveAdapter(port, adapter);
                array.erase(array.begin() + handleCount + static_cast<std::ptrdiff_t>(index));
                owners.erase(owners.begin() + static_cast<std::ptrdiff_t>(index));
                if (timeoutMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) {
                    if (which)
                        *which = WAIT_TIMEOUT;
                    return nullptr;
                }
                continue;
            }
            adapter->frame.adapter = adapter;
            adapter->frame.data = read->packet.frame;
            adapter->frame.length = read->packet.length < sizeof read->packet.frame ? read->packet.length
                                                                                     : sizeof read->packet.frame;
            return &adapter->frame;
        }
        if (which)
            *which = result;
        return nullptr;
    }
}

void PortQueueFrame(tPortAdapter* adapter, const void* frame, size_t length, DWORD gapMs)
{
    if (!adapter || !frame || length == 0)
        return;
    tPacketPort* port = adapter->port;
    EnterCriticalSection(&adapter->lock);
    DWORD now = GetTickCount();
    if (adapter->queue->items.empty() &&
        (adapter->gapAfterLastSend == 0 || now - adapter->lastSend >= adapter->gapAfterLastSend)) {
        LeaveCriticalSection(&adapter->lock);
        SendNow(adapter, frame, length);
        EnterCriticalSection(&adapter->lock);
        adapter->lastSend = now;
        adapter->gapAfterLastSend = gapMs;
        LeaveCriticalSection(&adapter->lock);
        return;
    }
    tQueuedFrame* queued = static_cast<tQueuedFrame*>(malloc(length + 8));
    if (queued) {
        queued->gap = gapMs;
        queued->length = static_cast<uint32_t>(length);
        memcpy(queued->bytes, frame, length);
        adapter->queue->items.push_back(queued);
    }
    LeaveCriticalSection(&adapter->lock);
    if (!queued)
        return;
    if (!port->sender) {
        port->senderWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        port->sender = CreateThread(nullptr, 0, SenderThread, port, 0, nullptr);
    } else {
        SetEvent(port->senderWake);
    }
}

void PortDestroy(tPacketPort* port)
{
    if (!port)
        return;
    if (port->sender) {
        InterlockedExchange(&port->senderStop, 1);
        SetEvent(port->senderWake);
        WaitForSingleObject(port->sender, INFINITE);
        CloseHandle(port->sender);
        CloseHandle(port->senderWake);
    }
    while (!port->adapters->items.empty())
        PortRemoveAdapter(port, port->adapters->items.front());
    free(port->program);
    delete port->adapters;
    DeleteCriticalSection(&port->lock);
    delete port;
}
