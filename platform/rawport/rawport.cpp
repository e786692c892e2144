// rawport.dll over the pcap API. Each open adapter has one I/O thread that sends the queued
// frames and, while reads are posted, takes frames from pcap in non-blocking mode (under Wine
// pcap_next_ex ignores its read time-out, so blocking reads would never return) and completes
// the posted reads in posting order.
#include <winsock2.h>
#include <windows.h>

#include <string.h>
#include <strings.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rawport/pcap_api.h"
#include "platform/rawport/rawport.h"
#include "platform/rawport/selection.h"

namespace {

thread_local unsigned long t_lastError = 0;

// --- adapter lists ---------------------------------------------------------------------------

std::mutex g_listsLock;
std::map<int, std::vector<std::string>> g_lists;
int g_nextList = 1;
const int kEntriesPerList = 4096;
const int kMaxListNumber = 0x7FFFFFFF / kEntriesPerList - 1;

std::string EnvironmentList()
{
    char value[4096] = "";
    DWORD length = GetEnvironmentVariableA("RAWPORT_ADAPTERS", value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

const int kSnapLength = 1600;             // a whole Ethernet frame and some
const int kCaptureBuffer = 8 * 1024 * 1024; // room for thousands of frames between two reads

// The capture ring must hold the frames that arrive while the reader thread sleeps between
// polls: a small snap length and a large buffer give it many slots, and immediate mode (where
// the pcap library offers it) hands frames over one by one instead of in large blocks. The
// one-step open leaves the ring at its default size, which a burst of answers overflows.
pcap_t* CreatePcap(const char* name, char* error)
{
    const tPcapApi& p = Pcap();
    if (!p.create || !p.set_snaplen || !p.set_promisc || !p.set_timeout || !p.set_buffer_size ||
        !p.activate)
        return p.open_live(name, kSnapLength, 1, 1, error);
    pcap_t* pcap = p.create(name, error);
    if (!pcap)
        return nullptr;
    p.set_snaplen(pcap, kSnapLength);
    p.set_promisc(pcap, 1);
    p.set_timeout(pcap, 1);
    if (p.set_immediate_mode)
        p.set_immediate_mode(pcap, 1);
    p.set_buffer_size(pcap, kCaptureBuffer);
    if (p.activate(pcap) < 0) {
        p.close(pcap);
        return p.open_live(name, kSnapLength, 1, 1, error);
    }
    return pcap;
}

pcap_t* OpenPcap(const char* name)
{
    char error[512] = "";
    // Always promiscuous: the NDIS packet filter is applied by rawport itself, so that a
    // caller may switch between directed and promiscuous reception at any time.
    pcap_t* pcap = CreatePcap(name, error);
    if (!pcap)
        return nullptr;
    if (Pcap().datalink(pcap) != kDltEthernet || Pcap().setnonblock(pcap, 1, error) != 0) {
        Pcap().close(pcap);
        return nullptr;
    }
    return pcap;
}

std::vector<std::string> EthernetAdapters()
{
    std::vector<std::string> names;
    if (!Pcap().Ok())
        return names;
    pcap_if_t* all = nullptr;
    char error[512] = "";
    if (Pcap().findalldevs(&all, error) != 0)
        return names;
    std::string list = EnvironmentList();
    for (pcap_if_t* device = all; device; device = device->next) {
        if (!device->name || (device->flags & kPcapLoopback) || !(device->flags & kPcapUp))
            continue;
        if (!RawportSelected(device->name, device->description ? device->description : "", list))
            continue;
        if (pcap_t* probe = OpenPcap(device->name)) {
            Pcap().close(probe);
            names.push_back(device->name);
        }
    }
    Pcap().freealldevs(all);
    return names;
}

// --- open adapters ---------------------------------------------------------------------------

struct tRead {
    tRawPacketBuffer* buffer;
    OVERLAPPED* overlapped;
};

struct tSend {
    std::vector<uint8_t> frame;
    OVERLAPPED* overlapped;
};

struct tAdapter {
    std::string name;
    pcap_t* pcap = nullptr;
    uint8_t station[6] = {};
    std::atomic<uint32_t> filter{kRawFilterDirected | kRawFilterBroadcast};
    std::mutex lock;
    std::deque<tRead> reads;
    std::deque<tSend> sends;
    bool failed = false;
    HANDLE wake = nullptr;
    std::atomic<bool> stop{false};
    std::thread io;
};

std::mutex g_adaptersLock;
std::map<int, std::shared_ptr<tAdapter>> g_adapters;
int g_nextAdapter = 1;

std::shared_ptr<tAdapter> FindAdapter(int handle)
{
    std::lock_guard<std::mutex> guard(g_adaptersLock);
    auto it = g_adapters.find(handle);
    return it == g_adapters.end() ? nullptr : it->second;
}

void Complete(OVERLAPPED* overlapped, uint32_t status, uint32_t bytes)
{
    overlapped->Internal = status;
    overlapped->InternalHigh = bytes;
    if (overlapped->hEvent)
        SetEvent(overlapped->hEvent);
}

void FailRead(const tRead& read)
{
    read.buffer->status = kRawStatusAdapterGone;
    read.buffer->length = 0;
    Complete(read.overlapped, kRawStatusAdapterGone, 0);
}

// Sends what is queued; true when something was sent.
bool SendQueued(tAdapter& adapter)
{
    std::deque<tSend> sends;
    {
        std::lock_guard<std::mutex> guard(adapter.lock);
        sends.swap(adapter.sends);
    }
    for (tSend& send : sends) {
        bool ok = !adapter.failed &&
                  Pcap().sendpacket(adapter.pcap, send.frame.data(), static_cast<int>(send.frame.size())) == 0;
        Complete(send.overlapped, ok ? 0 : kRawStatusAdapterGone, ok ? static_cast<uint32_t>(send.frame.size()) : 0);
    }
    return !sends.empty();
}

// Takes one frame from pcap for the oldest posted read: 1 taken, 0 none waiting, -1 failed.
int ReceiveOne(tAdapter& adapter)
{
    {
        std::lock_guard<std::mutex> guard(adapter.lock);
        if (adapter.reads.empty() || adapter.failed)
            return 0;
    }
    pcap_pkthdr* header = nullptr;
    const uint8_t* data = nullptr;
    int result = Pcap().next_ex(adapter.pcap, &header, &data);
    if (result < 0) {
        std::lock_guard<std::mutex> guard(adapter.lock);
        adapter.failed = true;
        for (const tRead& read : adapter.reads)
            FailRead(read);
        adapter.reads.clear();
        return -1;
    }
    if (result == 0 || !header || !data)
        return 0;
    if (!RawportAccepts(data, header->caplen, adapter.station, adapter.filter))
        return 1;
    std::lock_guard<std::mutex> guard(adapter.lock);
    if (adapter.reads.empty())
        return 1;
    tRead read = adapter.reads.front();
    adapter.reads.pop_front();
    uint32_t capacity = read.buffer->capacity > sizeof read.buffer->frame ? sizeof read.buffer->frame
                                                                          : read.buffer->capacity;
    uint32_t length = header->caplen < capacity ? header->caplen : capacity;
    memcpy(read.buffer->frame, data, length);
    read.buffer->length = length;
    read.buffer->status = 0;
    Complete(read.overlapped, 0, length);
    return 1;
}

void IoThread(std::shared_ptr<tAdapter> adapter)
{
    // Poll fast while frames flow, slower while the link is quiet: at most 16 ms, which the
    // capture ring bridges easily and which keeps an idle adapter near no CPU at all.
    DWORD idle = 1;
    while (!adapter->stop) {
        bool busy = SendQueued(*adapter);
        int received = ReceiveOne(*adapter);
        if (received > 0 || busy) {
            idle = 1;
            continue;
        }
        bool waitingReads;
        {
            std::lock_guard<std::mutex> guard(adapter->lock);
            waitingReads = !adapter->reads.empty() && !adapter->failed;
        }
        WaitForSingleObject(adapter->wake, waitingReads ? idle : INFINITE);
        if (waitingReads && idle < 16)
            idle *= 2;
    }
    SendQueued(*adapter);
}

} // namespace

extern "C" {

int WINAPI W32N_OpenAdapterA(const char* name)
{
    if (!name || !Pcap().Ok()) {
        t_lastError = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    auto adapter = std::make_shared<tAdapter>();
    adapter->name = name;
    adapter->pcap = OpenPcap(name);
    if (!adapter->pcap) {
        t_lastError = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    if (!Pcap().stationAddress(name, adapter->station)) {
        Pcap().close(adapter->pcap);
        t_lastError = ERROR_NOT_SUPPORTED;
        return -1;
    }
    adapter->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    adapter->io = std::thread(IoThread, adapter);
    std::lock_guard<std::mutex> guard(g_adaptersLock);
    int handle = g_nextAdapter++;
    g_adapters[handle] = adapter;
    return handle;
}

void WINAPI W32N_CloseAdapter(int handle)
{
    std::shared_ptr<tAdapter> adapter;
    {
        std::lock_guard<std::mutex> guard(g_adaptersLock);
        auto it = g_adapters.find(handle);
        if (it == g_adapters.end())
            return;
        adapter = it->second;
        g_adapters.erase(it);
    }
    adapter->stop = true;
    SetEvent(adapter->wake);
    if (adapter->io.joinable())
        adapter->io.join();
    {
        std::lock_guard<std::mutex> guard(adapter->lock);
        for (const tRead& read : adapter->reads)
            FailRead(read);
        adapter->reads.clear();
    }
    Pcap().close(adapter->pcap);
    CloseHandle(adapter->wake);
}

int WINAPI W32N_MakeNdisRequest(int handle, tNdisRequest* request, OVERLAPPED*, int)
{
    std::shared_ptr<tAdapter> adapter = FindAdapter(handle);
    if (!adapter || !request || !request->buffer) {
        t_lastError = ERROR_INVALID_HANDLE;
        return 1;
    }
    if (request->kind == kNdisQuery && request->oid == OID_802_3_CURRENT_ADDRESS_) {
        if (request->length < 6) {
            request->needed = 6;
            t_lastError = ERROR_INSUFFICIENT_BUFFER;
            return 1;
        }
        memcpy(request->buffer, adapter->station, 6);
        request->written = 6;
        return 0;
    }
    if (request->kind == kNdisSet && request->oid == OID_GEN_CURRENT_PACKET_FILTER_ &&
        request->length >= 4) {
        uint32_t filter;
        memcpy(&filter, request->buffer, 4);
        adapter->filter = filter;
        request->written = 4;
        return 0;
    }
    t_lastError = ERROR_NOT_SUPPORTED;
    return 1;
}

int WINAPI W32N_SetBPFProgram(int handle, const void* program, unsigned length)
{
    std::shared_ptr<tAdapter> adapter = FindAdapter(handle);
    if (!adapter || !program || length == 0 || length % sizeof(bpf_insn) != 0)
        return 0;
    std::vector<bpf_insn> instructions(length / sizeof(bpf_insn));
    memcpy(instructions.data(), program, length);
    bpf_program filter = {static_cast<unsigned>(instructions.size()), instructions.data()};
    return Pcap().setfilter(adapter->pcap, &filter) == 0 ? 1 : 0;
}

int WINAPI W32N_PacketRead(int handle, tRawPacketBuffer* buffer, uint32_t, OVERLAPPED* overlapped, int)
{
    if (!buffer || !overlapped)
        return 0;
    std::shared_ptr<tAdapter> adapter = FindAdapter(handle);
    if (overlapped->hEvent)
        ResetEvent(overlapped->hEvent);
    tRead read = {buffer, overlapped};
    if (!adapter) {
        FailRead(read);
        return 0;
    }
    {
        std::lock_guard<std::mutex> guard(adapter->lock);
        if (adapter->failed) {
            FailRead(read);
            return 0;
        }
        adapter->reads.push_back(read);
    }
    SetEvent(adapter->wake);
    return 1;
}

void WINAPI W32N_CancelPacketRead(int handle, tRawPacketBuffer* buffer)
{
    std::shared_ptr<tAdapter> adapter = FindAdapter(handle);
    if (!adapter)
        return;
    std::lock_guard<std::mutex> guard(adapter->lock);
    for (auto it = adapter->reads.begin(); it != adapter->reads.end(); ++it)
        if (it->buffer == buffer) {
            adapter->reads.erase(it);
            return;
        }
}

int WINAPI W32N_PacketSend(int handle, const void* frame, unsigned length, unsigned long* bytesOut,
                           OVERLAPPED* overlapped)
{
    std::shared_ptr<tAdapter> adapter = FindAdapter(handle);
    if (!adapter || !frame || length == 0 || length > 1514) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (!overlapped) {
        // Without an overlapped record the caller cannot learn of a late completion.
        int ok = Pcap().sendpacket(adapter->pcap, static_cast<const uint8_t*>(frame), static_cast<int>(length)) == 0;
        if (ok && bytesOut)
            *bytesOut = length;
        return ok;
    }
    if (overlapped->hEvent)
        ResetEvent(overlapped->hEvent);
    {
        std::lock_guard<std::mutex> guard(adapter->lock);
        tSend send;
        send.frame.assign(static_cast<const uint8_t*>(frame), static_cast<const uint8_t*>(frame) + length);
        send.overlapped = overlapped;
        adapter->sends.push_back(std::move(send));
    }
    SetEvent(adapter->wake);
    if (bytesOut)
        *bytesOut = 0;
    t_lastError = kRawIoPending;
    return 0;
}

unsigned long WINAPI W32N_GetLastError(void)
{
    return t_lastError;
}

int WINAPI RawportOpenAdapterList(void)
{
    if (!Pcap().Ok())
        return -1;
    std::vector<std::string> names = EthernetAdapters();
    std::lock_guard<std::mutex> guard(g_listsLock);
    // Entries are numbered list * kEntriesPerList + index: list numbers wrap before that
    // number would overflow.
    int list = g_nextList;
    g_nextList = g_nextList < kMaxListNumber ? g_nextList + 1 : 1;
    g_lists[list] = std::move(names);
    return list;
}

void WINAPI RawportCloseAdapterList(int list)
{
    std::lock_guard<std::mutex> guard(g_listsLock);
    g_lists.erase(list);
}

int WINAPI RawportFirstAdapter(int list)
{
    std::lock_guard<std::mutex> guard(g_listsLock);
    auto it = g_lists.find(list);
    if (it == g_lists.end() || it->second.empty())
        return -1;
    return list * kEntriesPerList;
}

int WINAPI RawportNextAdapter(int list, int entry)
{
    std::lock_guard<std::mutex> guard(g_listsLock);
    auto it = g_lists.find(list);
    if (it == g_lists.end() || entry / kEntriesPerList != list)
        return -1;
    size_t next = static_cast<size_t>(entry % kEntriesPerList) + 1;
    return next < it->second.size() && next < static_cast<size_t>(kEntriesPerList) ? entry + 1 : -1;
}

void WINAPI RawportReleaseAdapter(int)
{
    // Entries live in their list and go with it.
}

int WINAPI RawportAdapterName(int entry, char* buffer, unsigned long* size)
{
    if (!size || entry < 0)
        return 0;
    std::lock_guard<std::mutex> guard(g_listsLock);
    auto it = g_lists.find(entry / kEntriesPerList);
    size_t index = static_cast<size_t>(entry % kEntriesPerList);
    if (it == g_lists.end() || index >= it->second.size())
        return 0;
    const std::string& name = it->second[index];
    unsigned long needed = static_cast<unsigned long>(name.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        return buffer ? 0 : 1;
    }
    memcpy(buffer, name.c_str(), needed);
    *size = needed;
    return 1;
}

} // extern "C"
