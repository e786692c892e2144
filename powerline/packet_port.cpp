#include "powerline/packet_port.h"

#include <string.h>
#include <strings.h>

#include "powerline/rawport_api.h"

namespace {

// NDIS packet filters: directed and broadcast frames, or every frame.
const uint32_t kFilterDirectedBroadcast = 0x09;
const uint32_t kFilterPromiscuous = 0x20;
// Adapter names longer than this are no adapter names.
const unsigned long kMaxAdapterName = 4096;

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

void PostRead(const tRawportApi* api, tPortAdapter* adapter, tPostedRead& posted)
{
    posted.read.packet.capacity = sizeof posted.read.packet.frame;
    posted.read.packet.status = 0;
    posted.read.packet.length = 0;
    api->PacketRead(adapter->handle, &posted.read.packet, posted.read.word, &posted.read.overlapped, 0);
}

bool Transmit(tPortAdapter* adapter, const void* frame, size_t length)
{
    const tRawportApi* api = RawportApi();
    if (!api)
        return false;
    raii::CLock sending(adapter->sendLock);
    unsigned long sent = 0;
    if (api->PacketSend(adapter->handle, frame, static_cast<unsigned>(length), &sent, &adapter->overlapped))
        return true;
    if (api->GetLastError() != kRawIoPending)
        return false;
    // A send that never completes must not stop its sender for good.
    return WaitForSingleObject(adapter->overlappedEvent.Get(), kPortSendCompletionMs) == WAIT_OBJECT_0;
}

bool SlotFree(const tPortAdapter* adapter, DWORD now)
{
    return adapter->gapAfterLastSend == 0 || now - adapter->lastSend >= adapter->gapAfterLastSend;
}

// Sends what is due on one adapter; the time until its next frame may leave, or INFINITE.
DWORD SendDue(tPortAdapter* adapter)
{
    raii::CLock lock(adapter->lock);
    if (adapter->queue.empty())
        return INFINITE;
    DWORD elapsed = GetTickCount() - adapter->lastSend;
    if (elapsed < adapter->gapAfterLastSend)
        return adapter->gapAfterLastSend - elapsed;
    tQueuedFrame frame = std::move(adapter->queue.front());
    adapter->queue.pop_front();
    // A burst keeps its spacing: the next slot counts from the last one. The slot is taken
    // before the send, so that a frame queued meanwhile does not jump ahead of this one.
    adapter->lastSend += adapter->gapAfterLastSend;
    adapter->gapAfterLastSend = frame.gap;
    lock.Unlock();
    Transmit(adapter, frame.bytes.data(), frame.bytes.size());
    return 0; // look again at once
}

// The sender: walks the adapters under the port lock, which keeps them from being removed
// while a frame of theirs is being sent.
void RunSender(tPacketPort* port, CThread& self)
{
    HANDLE handles[2] = {self.StopEvent(), port->senderWake.Get()};
    for (;;) {
        DWORD wait = INFINITE;
        {
            raii::CLock lock(port->lock);
            for (tPortAdapter* adapter : port->adapters) {
                DWORD next = SendDue(adapter);
                if (next < wait)
                    wait = next;
            }
        }
        if (WaitForMultipleObjects(2, handles, FALSE, wait) == WAIT_OBJECT_0)
            return;
    }
}

void TearDown(const tRawportApi* api, tPortAdapter* adapter)
{
    for (std::unique_ptr<tPostedRead>& posted : adapter->reads)
        if (api)
            api->CancelPacketRead(adapter->handle, &posted->read.packet);
    adapter->reads.clear();
    if (api && adapter->handle != -1)
        api->CloseAdapter(adapter->handle);
    delete adapter;
}

} // namespace

tPacketPort* PortCreate(tPortCallback callback, void* user, uint8_t promiscuous,
                        const void* program, size_t programLength)
{
    auto port = std::make_unique<tPacketPort>();
    port->callback = callback;
    port->user = user;
    port->promiscuous = promiscuous;
    if (program && programLength)
        port->program.assign(static_cast<const uint8_t*>(program), static_cast<const uint8_t*>(program) + programLength);
    port->postedReads = kPortPostedReads;
    port->queueLimit = kPortQueueLimit;
    port->senderWake.Attach(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    tPacketPort* raw = port.get();
    if (!port->senderWake || !port->sender.Start([raw](CThread& self) { RunSender(raw, self); }))
        return nullptr;
    return port.release();
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
        if (size > 0 && size < kMaxAdapterName) {
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
    if (!port || !name || !api || PortAdapterCount(port) >= kPortMaxAdapters)
        return;
    for (tPortAdapter* existing : port->adapters)
        if (strcasecmp(existing->name.c_str(), name) == 0)
            return;
    int handle = api->OpenAdapter(name);
    if (handle == -1)
        return;

    auto adapter = std::make_unique<tPortAdapter>();
    adapter->name = name;
    adapter->handle = handle;
    adapter->overlappedEvent.Attach(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    adapter->overlapped.hEvent = adapter->overlappedEvent.Get();
    adapter->port = port;

    uint32_t filter = port->promiscuous ? kFilterPromiscuous : kFilterDirectedBroadcast;
    bool ok = adapter->overlappedEvent &&
              NdisRequest(api, adapter.get(), kNdisQuery, OID_802_3_CURRENT_ADDRESS_, adapter->station, 6) &&
              NdisRequest(api, adapter.get(), kNdisSet, OID_GEN_CURRENT_PACKET_FILTER_, &filter, 4) &&
              (port->program.empty() ||
               api->SetBPFProgram(handle, port->program.data(), static_cast<unsigned>(port->program.size())));
    if (!ok) {
        // Tried again at the next scan.
        TearDown(api, adapter.release());
        return;
    }

    for (int i = 0; i < port->postedReads; ++i) {
        auto posted = std::make_unique<tPostedRead>();
        memset(&posted->read, 0, sizeof posted->read);
        posted->event.Attach(CreateEventA(nullptr, TRUE, TRUE, nullptr));
        if (!posted->event)
            break;
        posted->read.overlapped.hEvent = posted->event.Get();
        adapter->reads.push_back(std::move(posted));
        PostRead(api, adapter.get(), *adapter->reads.back());
    }
    tPortAdapter* added = adapter.release();
    {
        raii::CLock lock(port->lock);
        added->position = static_cast<int>(port->adapters.size());
        port->adapters.push_back(added);
    }
    if (port->callback)
        port->callback(PORT_ADAPTER_ADDED, added, port->user);
}

void PortRemoveAdapter(tPacketPort* port, tPortAdapter* adapter)
{
    if (!port || !adapter)
        return;
    if (port->callback)
        port->callback(PORT_ADAPTER_REMOVED, adapter, port->user);
    {
        raii::CLock lock(port->lock);
        std::vector<tPortAdapter*>& items = port->adapters;
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == adapter) {
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        for (size_t i = 0; i < items.size(); ++i)
            items[i]->position = static_cast<int>(i);
    }
    // Out of the list, the sender no longer sees it; a send from another thread still
    // holds the send lock.
    { raii::CLock sending(adapter->sendLock); }
    TearDown(RawportApi(), adapter);
}

tPortAdapter* PortFirstAdapter(tPacketPort* port)
{
    return port && !port->adapters.empty() ? port->adapters.front() : nullptr;
}

tPortAdapter* PortNextAdapter(tPortAdapter* adapter)
{
    if (!adapter)
        return nullptr;
    std::vector<tPortAdapter*>& items = adapter->port->adapters;
    size_t next = static_cast<size_t>(adapter->position) + 1;
    return next < items.size() ? items[next] : nullptr;
}

int PortAdapterCount(tPacketPort* port)
{
    return port ? static_cast<int>(port->adapters.size()) : 0;
}

void PortRearm(tReceivedFrame* frame)
{
    const tRawportApi* api = RawportApi();
    if (!frame || !frame->adapter || !api)
        return;
    tPortAdapter* adapter = frame->adapter;
    adapter->frame.data = nullptr;
    adapter->frame.length = 0;
    if (adapter->reads.empty())
        return;
    // Reads complete in posting order: the oldest is the one that was handed out.
    adapter->reads.push_back(std::move(adapter->reads.front()));
    adapter->reads.pop_front();
    PostRead(api, adapter, *adapter->reads.back());
}

tReceivedFrame* PortWait(tPacketPort* port, const HANDLE* handles, int handleCount, DWORD* which,
                         int timeoutMs)
{
    std::vector<HANDLE> array(handles, handles + handleCount);
    std::vector<tPortAdapter*> owners;
    if (port) {
        for (tPortAdapter* adapter : port->adapters) {
            if (adapter->frame.data)
                PortRearm(&adapter->frame);
            if (!adapter->reads.empty()) {
                array.push_back(adapter->reads.front()->event.Get());
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
            tPendingRead& read = adapter->reads.front()->read;
            if (read.packet.status != 0) {
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
            adapter->frame.data = read.packet.frame;
            adapter->frame.length = read.packet.length < sizeof read.packet.frame ? read.packet.length
                                                                                   : sizeof read.packet.frame;
            return &adapter->frame;
        }
        if (which)
            *which = result;
        return nullptr;
    }
}

tPortQueueResult PortQueueFrame(tPortAdapter* adapter, const void* frame, size_t length, DWORD gapMs)
{
    if (!adapter || !frame || length == 0 || length > kRawMaxFrame)
        return PORT_FRAME_DROPPED;
    raii::CLock lock(adapter->lock);
    DWORD now = GetTickCount();
    if (adapter->queue.empty() && SlotFree(adapter, now)) {
        adapter->lastSend = now;
        adapter->gapAfterLastSend = gapMs;
        lock.Unlock();
        Transmit(adapter, frame, length);
        return PORT_FRAME_SENT;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(frame);
    for (const tQueuedFrame& queued : adapter->queue)
        if (queued.bytes.size() == length && memcmp(queued.bytes.data(), bytes, length) == 0)
            return PORT_FRAME_ALREADY_QUEUED;
    if (adapter->queue.size() >= adapter->port->queueLimit)
        return PORT_FRAME_DROPPED;
    adapter->queue.push_back(tQueuedFrame{gapMs, std::vector<uint8_t>(bytes, bytes + length)});
    lock.Unlock();
    SetEvent(adapter->port->senderWake.Get());
    return PORT_FRAME_QUEUED;
}

bool PortSendNow(tPortAdapter* adapter, const void* frame, size_t length)
{
    if (!adapter || !frame || length == 0 || length > kRawMaxFrame)
        return false;
    return Transmit(adapter, frame, length);
}

size_t PortQueuedFrames(tPortAdapter* adapter)
{
    if (!adapter)
        return 0;
    raii::CLock lock(adapter->lock);
    return adapter->queue.size();
}

void PortSetQueueLimit(tPacketPort* port, size_t frames)
{
    if (port)
        port->queueLimit = frames;
}

void PortDestroy(tPacketPort* port)
{
    if (!port)
        return;
    port->sender.Stop();
    while (!port->adapters.empty())
        PortRemoveAdapter(port, port->adapters.front());
    delete port;
}
