#include "powerline/tests/fake_rawport.h"

#include <string.h>
#include <strings.h>

namespace fakerawport {

namespace {

std::recursive_mutex g_lock;
std::vector<tFakeAdapter> g_adapters;
std::vector<tSentFrame> g_sent;
bool g_pending = true;
bool g_neverComplete = false;
unsigned long g_lastError = 0;
int g_nextHandle = 1;

tFakeAdapter* ByHandle(int handle)
{
    for (tFakeAdapter& a : g_adapters)
        if (a.handle == handle)
            return &a;
    return nullptr;
}

int WINAPI OpenAdapter(const char* name)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (tFakeAdapter& a : g_adapters)
        if (strcasecmp(a.name.c_str(), name) == 0) {
            a.handle = g_nextHandle++;
            ++a.opens;
            return a.handle;
        }
    return -1;
}

void WINAPI CloseAdapter(int handle)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (tFakeAdapter* a = ByHandle(handle)) {
        a->reads.clear();
        a->handle = -1;
        ++a->closes;
    }
}

int WINAPI MakeNdisRequest(int handle, tNdisRequest* request, OVERLAPPED*, int)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    tFakeAdapter* a = ByHandle(handle);
    if (!a)
        return 1;
    if (request->kind == kNdisQuery && request->oid == OID_802_3_CURRENT_ADDRESS_) {
        if (a->failAddressQuery)
            return 1;
        memcpy(request->buffer, a->station, 6);
        request->written = 6;
        return 0;
    }
    if (request->kind == kNdisSet && request->oid == OID_GEN_CURRENT_PACKET_FILTER_) {
        memcpy(&a->packetFilter, request->buffer, 4);
        return 0;
    }
    return 1;
}

int WINAPI SetBPFProgram(int handle, const void* program, unsigned length)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    tFakeAdapter* a = ByHandle(handle);
    if (!a || a->failFilterProgram)
        return 0;
    a->program.assign(static_cast<const uint8_t*>(program), static_cast<const uint8_t*>(program) + length);
    return 1;
}

int WINAPI PacketRead(int handle, tRawPacketBuffer* buffer, uint32_t, OVERLAPPED* overlapped, int)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    ResetEvent(overlapped->hEvent);
    tFakeAdapter* a = ByHandle(handle);
    if (!a)
        return 0;
    a->reads.emplace_back(buffer, overlapped);
    return 1;
}

void WINAPI CancelPacketRead(int handle, tRawPacketBuffer* buffer)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (tFakeAdapter* a = ByHandle(handle))
        for (auto it = a->reads.begin(); it != a->reads.end(); ++it)
            if (it->first == buffer) {
                a->reads.erase(it);
                return;
            }
}

int WINAPI PacketSend(int handle, const void* frame, unsigned length, unsigned long* bytesOut, OVERLAPPED* overlapped)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    tFakeAdapter* a = ByHandle(handle);
    if (!a)
        return 0;
    tSentFrame sent;
    sent.adapter = a->name;
    sent.bytes.assign(static_cast<const uint8_t*>(frame), static_cast<const uint8_t*>(frame) + length);
    sent.tick = GetTickCount();
    g_sent.push_back(sent);
    if (g_neverComplete) {
        ResetEvent(overlapped->hEvent);
        g_lastError = kRawIoPending;
        return 0;
    }
    if (g_pending) {
        // completes "later": the event is set by the time the caller waits for it
        ResetEvent(overlapped->hEvent);
        SetEvent(overlapped->hEvent);
        g_lastError = kRawIoPending;
        return 0;
    }
    if (bytesOut)
        *bytesOut = length;
    return 1;
}

unsigned long WINAPI GetLastErrorFake(void)
{
    return g_lastError;
}

int WINAPI OpenList(void)
{
    return 7;
}
void WINAPI CloseList(int) {}
int WINAPI FirstEntry(int list)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return list == 7 && !g_adapters.empty() ? 0 : -1;
}
int WINAPI NextEntry(int, int entry)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return entry + 1 < static_cast<int>(g_adapters.size()) ? entry + 1 : -1;
}
void WINAPI ReleaseEntry(int) {}
int WINAPI EntryName(int entry, char* buffer, unsigned long* size)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    const std::string& name = g_adapters[static_cast<size_t>(entry)].name;
    if (!buffer || *size < name.size() + 1) {
        *size = static_cast<unsigned long>(name.size() + 1);
        return buffer ? 0 : 1;
    }
    memcpy(buffer, name.c_str(), name.size() + 1);
    return 1;
}

const tRawportApi kFake = {OpenAdapter, CloseAdapter, MakeNdisRequest, SetBPFProgram, PacketRead,
                           CancelPacketRead, PacketSend, GetLastErrorFake, OpenList, CloseList,
                           FirstEntry, NextEntry, ReleaseEntry, EntryName};

bool Complete(const std::string& name, const std::vector<uint8_t>* frame)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    tFakeAdapter* a = Adapter(name);
    if (!a || a->reads.empty())
        return false;
    auto read = a->reads.front();
    a->reads.pop_front();
    if (frame) {
        size_t length = frame->size() < sizeof read.first->frame ? frame->size() : sizeof read.first->frame;
        memcpy(read.first->frame, frame->data(), length);
        read.first->length = static_cast<uint32_t>(length);
        read.first->status = 0;
    } else {
        read.first->status = kRawStatusAdapterGone;
        read.first->length = 0;
    }
    SetEvent(read.second->hEvent);
    return true;
}

} // namespace

void Install(const std::vector<tFakeAdapter>& adapters)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_adapters = adapters;
    g_sent.clear();
    g_pending = true;
    g_neverComplete = false;
    SetRawportApi(&kFake);
}

void Uninstall()
{
    SetRawportApi(nullptr);
}

tFakeAdapter* Adapter(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (tFakeAdapter& a : g_adapters)
        if (a.name == name)
            return &a;
    return nullptr;
}

bool Deliver(const std::string& name, const std::vector<uint8_t>& frame)
{
    return Complete(name, &frame);
}

bool Fail(const std::string& name)
{
    return Complete(name, nullptr);
}

std::vector<tSentFrame> Sent()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_sent;
}

void ClearSent()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_sent.clear();
}

void SetSendsPending(bool pending)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_pending = pending;
}

void SetSendsNeverComplete(bool never)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_neverComplete = never;
}

size_t PostedReads(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    tFakeAdapter* a = Adapter(name);
    return a ? a->reads.size() : 0;
}

} // namespace fakerawport
