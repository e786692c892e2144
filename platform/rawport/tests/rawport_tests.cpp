// rawport's own behaviour over a capture the test controls: the adapter list behind the
// ordinal-only exports, sends that complete late with 997, reads that complete in posting
// order, and an adapter that disappears failing every read.
#include <gtest/gtest.h>

#include <string.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "platform/rawport/pcap_api.h"
#include "platform/rawport/rawport.h"

// The capture handle of the fake: which device it reads.
struct pcap_t {
    size_t device;
    pcap_pkthdr header;
    std::vector<uint8_t> current;
};

namespace {

struct tFakeDevice {
    std::string name;
    std::string description;
    unsigned flags = kPcapUp;
    int link = kDltEthernet;
    uint8_t station[6] = {};
    std::deque<std::vector<uint8_t>> incoming;
    std::vector<std::vector<uint8_t>> sent;
    bool removed = false;
    unsigned filterInstructions = 0;
};

std::mutex g_lock;
std::vector<tFakeDevice> g_devices;

int FindAllDevs(pcap_if_t** all, char*)
{
    std::lock_guard<std::mutex> guard(g_lock);
    pcap_if_t* head = nullptr;
    for (auto it = g_devices.rbegin(); it != g_devices.rend(); ++it)
        head = new pcap_if_t{head, _strdup(it->name.c_str()), _strdup(it->description.c_str()), nullptr, it->flags};
    *all = head;
    return 0;
}

void FreeAllDevs(pcap_if_t* all)
{
    while (all) {
        pcap_if_t* next = all->next;
        free(all->name);
        free(all->description);
        delete all;
        all = next;
    }
}

pcap_t* OpenLive(const char* name, int, int, int, char*)
{
    std::lock_guard<std::mutex> guard(g_lock);
    for (size_t i = 0; i < g_devices.size(); ++i)
        if (g_devices[i].name == name && !g_devices[i].removed)
            return new pcap_t{i, {}, {}};
    return nullptr;
}

void Close(pcap_t* pcap)
{
    delete pcap;
}

int Datalink(pcap_t* pcap)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_devices[pcap->device].link;
}

int SetNonBlock(pcap_t*, int, char*)
{
    return 0;
}

int NextEx(pcap_t* pcap, pcap_pkthdr** header, const uint8_t** data)
{
    std::lock_guard<std::mutex> guard(g_lock);
    tFakeDevice& device = g_devices[pcap->device];
    if (device.removed)
        return -1;
    if (device.incoming.empty())
        return 0;
    pcap->current = std::move(device.incoming.front());
    device.incoming.pop_front();
    pcap->header.caplen = pcap->header.len = static_cast<unsigned>(pcap->current.size());
    *header = &pcap->header;
    *data = pcap->current.data();
    return 1;
}

int SendPacket(pcap_t* pcap, const uint8_t* data, int length)
{
    std::lock_guard<std::mutex> guard(g_lock);
    tFakeDevice& device = g_devices[pcap->device];
    if (device.removed)
        return -1;
    device.sent.emplace_back(data, data + length);
    return 0;
}

int SetFilter(pcap_t* pcap, bpf_program* program)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_devices[pcap->device].filterInstructions = program->bf_len;
    return 0;
}

bool StationOf(const char* name, uint8_t out[6])
{
    std::lock_guard<std::mutex> guard(g_lock);
    for (const tFakeDevice& device : g_devices)
        if (device.name == name) {
            memcpy(out, device.station, 6);
            return true;
        }
    return false;
}

tPcapApi MakeFake()
{
    tPcapApi api;
    api.findalldevs = FindAllDevs;
    api.freealldevs = FreeAllDevs;
    api.open_live = OpenLive;
    api.close = Close;
    api.datalink = Datalink;
    api.setnonblock = SetNonBlock;
    api.next_ex = NextEx;
    api.sendpacket = SendPacket;
    api.setfilter = SetFilter;
    api.stationAddress = StationOf;
    return api;
}

const tPcapApi kFake = MakeFake();

tFakeDevice Device(const char* name, const char* description, uint8_t last)
{
    tFakeDevice device;
    device.name = name;
    device.description = description;
    const uint8_t station[6] = {0x02, 0, 0, 0, 0, last};
    memcpy(device.station, station, 6);
    return device;
}

std::vector<uint8_t> FrameTo(const uint8_t* destination, uint8_t marker)
{
    std::vector<uint8_t> frame(60, 0);
    memcpy(frame.data(), destination, 6);
    frame[6] = 0x02;
    frame[11] = 0x77; // from some other station
    frame[12] = 0x88;
    frame[13] = 0x7B;
    frame[20] = marker;
    return frame;
}

// A frame that the fake capture of a device hands out next.
void Arrive(size_t device, std::vector<uint8_t> frame)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_devices[device].incoming.push_back(std::move(frame));
}

// One posted read with its own event.
struct tRead {
    tRead() : event(CreateEventA(nullptr, TRUE, TRUE, nullptr))
    {
        memset(&overlapped, 0, sizeof overlapped);
        memset(&buffer, 0, sizeof buffer);
        overlapped.hEvent = event.Get();
        buffer.capacity = sizeof buffer.frame;
    }
    bool Post(int handle) { return W32N_PacketRead(handle, &buffer, 0, &overlapped, 0) != 0; }
    bool Done(DWORD ms) const { return WaitForSingleObject(event.Get(), ms) == WAIT_OBJECT_0; }

    raii::CHandle event;
    OVERLAPPED overlapped;
    tRawPacketBuffer buffer;
};

class RawportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            std::lock_guard<std::mutex> guard(g_lock);
            g_devices.clear();
            g_devices.push_back(Device("\\Device\\NPF_{A}", "veth-a", 0x0A));
            tFakeDevice loopback = Device("\\Device\\NPF_Loopback", "lo", 0x0B);
            loopback.flags |= kPcapLoopback;
            g_devices.push_back(loopback);
            tFakeDevice down = Device("\\Device\\NPF_{C}", "eth-down", 0x0C);
            down.flags = 0;
            g_devices.push_back(down);
            tFakeDevice wifi = Device("\\Device\\NPF_{D}", "wlan-monitor", 0x0D);
            wifi.link = 127; // radiotap: no Ethernet frames
            g_devices.push_back(wifi);
            g_devices.push_back(Device("\\Device\\NPF_{E}", "veth-e", 0x0E));
        }
        SetEnvironmentVariableA("RAWPORT_ADAPTERS", nullptr);
        SetPcapApi(&kFake);
    }
    void TearDown() override
    {
        SetPcapApi(nullptr);
        SetEnvironmentVariableA("RAWPORT_ADAPTERS", nullptr);
    }
    tFakeDevice& Fake(size_t index) { return g_devices[index]; }
    int Open(const char* name)
    {
        int handle = W32N_OpenAdapterA(name);
        EXPECT_NE(-1, handle) << name;
        return handle;
    }
    std::vector<std::string> ListNames()
    {
        std::vector<std::string> names;
        int list = RawportOpenAdapterList();
        EXPECT_NE(-1, list);
        for (int entry = RawportFirstAdapter(list); entry != -1; entry = RawportNextAdapter(list, entry)) {
            unsigned long size = 0;
            EXPECT_EQ(1, RawportAdapterName(entry, nullptr, &size));
            std::string name(size, '\0');
            EXPECT_EQ(1, RawportAdapterName(entry, &name[0], &size));
            names.push_back(name.c_str());
            RawportReleaseAdapter(entry);
        }
        RawportCloseAdapterList(list);
        return names;
    }
};

} // namespace

TEST(RawportDll, TheAdapterListIsExportedByOrdinalOnly)
{
    raii::CModule dll(LoadLibraryA((testsupport::ProgramFolder() + "\\rawport.dll").c_str()));
    ASSERT_TRUE(dll.IsValid());
    for (int ordinal : {RAWPORT_ORD_OPEN_LIST, RAWPORT_ORD_CLOSE_LIST, RAWPORT_ORD_FIRST_ENTRY, RAWPORT_ORD_NEXT_ENTRY,
                        RAWPORT_ORD_RELEASE_ENTRY, RAWPORT_ORD_ENTRY_NAME})
        EXPECT_NE(nullptr, GetProcAddress(dll.Get(), reinterpret_cast<const char*>(static_cast<uintptr_t>(ordinal))))
            << ordinal;
    EXPECT_EQ(nullptr, GetProcAddress(dll.Get(), "RawportOpenAdapterList")) << "no name to bind by";
    EXPECT_EQ(nullptr, GetProcAddress(dll.Get(), reinterpret_cast<const char*>(static_cast<uintptr_t>(55))));
    for (const char* name : {"W32N_OpenAdapterA", "W32N_CloseAdapter", "W32N_MakeNdisRequest", "W32N_SetBPFProgram",
                             "W32N_PacketRead", "W32N_CancelPacketRead", "W32N_PacketSend", "W32N_GetLastError"})
        EXPECT_NE(nullptr, GetProcAddress(dll.Get(), name)) << name;
}

TEST_F(RawportTest, TheListOffersEthernetAdaptersThatAreUp)
{
    EXPECT_EQ((std::vector<std::string>{"\\Device\\NPF_{A}", "\\Device\\NPF_{E}"}), ListNames())
        << "no loopback, nothing down, no other link type";
    SetEnvironmentVariableA("RAWPORT_ADAPTERS", "veth-e");
    EXPECT_EQ((std::vector<std::string>{"\\Device\\NPF_{E}"}), ListNames());
    SetEnvironmentVariableA("RAWPORT_ADAPTERS", "nothing-like-it");
    EXPECT_TRUE(ListNames().empty());
    SetEnvironmentVariableA("RAWPORT_ADAPTERS", nullptr);

    // The name is fetched in two steps; a buffer too small says how much is needed.
    int list = RawportOpenAdapterList();
    int other = RawportOpenAdapterList();
    ASSERT_NE(list, other) << "two lists at once";
    int entry = RawportFirstAdapter(list);
    ASSERT_NE(-1, entry);
    unsigned long size = 4;
    char small[4];
    EXPECT_EQ(0, RawportAdapterName(entry, small, &size));
    EXPECT_EQ(strlen("\\Device\\NPF_{A}") + 1, size);
    EXPECT_EQ(0, RawportAdapterName(entry, nullptr, nullptr));
    int last = RawportNextAdapter(list, entry);
    EXPECT_EQ(-1, RawportNextAdapter(list, last));
    EXPECT_EQ(-1, RawportNextAdapter(other, entry)) << "an entry of another list";
    RawportCloseAdapterList(list);
    size = 0;
    EXPECT_EQ(0, RawportAdapterName(entry, nullptr, &size)) << "entries go with their list";
    EXPECT_EQ(-1, RawportFirstAdapter(list));
    EXPECT_NE(-1, RawportFirstAdapter(other));
    RawportCloseAdapterList(other);

    SetPcapApi(nullptr);
    tPcapApi none;
    SetPcapApi(&none);
    EXPECT_EQ(-1, RawportOpenAdapterList()) << "no capture library: no list";
    EXPECT_EQ(-1, W32N_OpenAdapterA("\\Device\\NPF_{A}"));
}

TEST_F(RawportTest, NdisRequestsAnswerTheAddressAndTakeThePacketFilter)
{
    int handle = Open("\\Device\\NPF_{A}");
    uint8_t address[6] = {};
    tNdisRequest request;
    memset(&request, 0, sizeof request);
    request.kind = kNdisQuery;
    request.oid = OID_802_3_CURRENT_ADDRESS_;
    request.buffer = address;
    request.length = 4;
    EXPECT_NE(0, W32N_MakeNdisRequest(handle, &request, nullptr, 1)) << "four bytes are too few";
    EXPECT_EQ(6u, request.needed);
    request.length = 6;
    EXPECT_EQ(0, W32N_MakeNdisRequest(handle, &request, nullptr, 1));
    EXPECT_EQ(0x0A, address[5]);
    uint32_t filter = kRawFilterPromiscuous;
    memset(&request, 0, sizeof request);
    request.kind = kNdisSet;
    request.oid = OID_GEN_CURRENT_PACKET_FILTER_;
    request.buffer = &filter;
    request.length = 4;
    EXPECT_EQ(0, W32N_MakeNdisRequest(handle, &request, nullptr, 1));
    request.oid = 0x00010101;
    EXPECT_NE(0, W32N_MakeNdisRequest(handle, &request, nullptr, 1)) << "an OID it does not know";
    const bpf_insn program[2] = {{0x06, 0, 0, 0xFFFFFFFF}, {0x06, 0, 0, 0}};
    EXPECT_EQ(1, W32N_SetBPFProgram(handle, program, sizeof program));
    EXPECT_EQ(2u, Fake(0).filterInstructions);
    EXPECT_EQ(0, W32N_SetBPFProgram(handle, program, 12)) << "not whole instructions";
    W32N_CloseAdapter(handle);
    EXPECT_NE(0, W32N_MakeNdisRequest(handle, &request, nullptr, 1)) << "a closed handle";
}

TEST_F(RawportTest, SendsCompleteLateWithErrorNinetySevenThenTheirEvent)
{
    int handle = Open("\\Device\\NPF_{A}");
    raii::CHandle event(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    std::vector<uint8_t> frame = FrameTo(Fake(4).station, 1);
    unsigned long sent = 99;
    EXPECT_EQ(0, W32N_PacketSend(handle, frame.data(), static_cast<unsigned>(frame.size()), &sent, &overlapped));
    EXPECT_EQ(kRawIoPending, W32N_GetLastError());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 2000)) << "the completion is signalled";
    EXPECT_EQ(0u, overlapped.Internal) << "sent";
    EXPECT_EQ(frame.size(), overlapped.InternalHigh);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        ASSERT_EQ(1u, Fake(0).sent.size());
        EXPECT_EQ(frame, Fake(0).sent[0]);
    }
    EXPECT_EQ(1, W32N_PacketSend(handle, frame.data(), static_cast<unsigned>(frame.size()), &sent, nullptr))
        << "without an overlapped record the send is done at once";
    EXPECT_EQ(frame.size(), sent);
    EXPECT_EQ(0, W32N_PacketSend(handle, frame.data(), kRawMaxFrame + 1, &sent, &overlapped));
    EXPECT_EQ(0, W32N_PacketSend(-5, frame.data(), 60, &sent, &overlapped));
    W32N_CloseAdapter(handle);
}

TEST_F(RawportTest, ReadsCompleteInPostingOrderAndTheFilterSkipsOthers)
{
    int handle = Open("\\Device\\NPF_{A}");
    tRead reads[4];
    for (tRead& read : reads)
        ASSERT_TRUE(read.Post(handle));
    EXPECT_FALSE(reads[0].Done(50)) << "nothing arrived yet";
    const uint8_t other[6] = {0x02, 0, 0, 0, 0, 0x55};
    const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Arrive(0, FrameTo(Fake(0).station, 1));
    Arrive(0, FrameTo(other, 99)); // for another station: filtered out
    Arrive(0, FrameTo(broadcast, 2));
    Arrive(0, FrameTo(Fake(0).station, 3));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reads[i].Done(2000)) << i;
        EXPECT_EQ(0u, reads[i].buffer.status);
        EXPECT_EQ(60u, reads[i].buffer.length);
        EXPECT_EQ(i + 1, reads[i].buffer.frame[20]) << "the oldest read takes the first frame";
    }
    EXPECT_FALSE(reads[3].Done(100)) << "the filtered frame used no read";

    // A cancelled read is never completed.
    W32N_CancelPacketRead(handle, &reads[3].buffer);
    Arrive(0, FrameTo(Fake(0).station, 4));
    EXPECT_FALSE(reads[3].Done(200));
    W32N_CloseAdapter(handle);
}

TEST_F(RawportTest, ARemovedAdapterFailsItsReadsAndEverythingAfter)
{
    int handle = Open("\\Device\\NPF_{E}");
    tRead reads[3];
    for (tRead& read : reads)
        ASSERT_TRUE(read.Post(handle));
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Fake(4).removed = true;
    }
    for (tRead& read : reads) {
        ASSERT_TRUE(read.Done(2000));
        EXPECT_EQ(kRawStatusAdapterGone, read.buffer.status);
        EXPECT_EQ(0u, read.buffer.length);
    }
    tRead late;
    EXPECT_FALSE(late.Post(handle)) << "a read posted afterwards fails at once";
    EXPECT_TRUE(late.Done(0));
    EXPECT_EQ(kRawStatusAdapterGone, late.buffer.status);

    raii::CHandle event(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    std::vector<uint8_t> frame = FrameTo(Fake(0).station, 1);
    unsigned long sent = 0;
    W32N_PacketSend(handle, frame.data(), static_cast<unsigned>(frame.size()), &sent, &overlapped);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 2000));
    EXPECT_EQ(kRawStatusAdapterGone, overlapped.Internal) << "the send completes as failed";
    W32N_CloseAdapter(handle);

    // Closing an adapter fails the reads still posted, so that no caller waits for them.
    int open = Open("\\Device\\NPF_{A}");
    tRead pending;
    ASSERT_TRUE(pending.Post(open));
    W32N_CloseAdapter(open);
    EXPECT_TRUE(pending.Done(0));
    EXPECT_EQ(kRawStatusAdapterGone, pending.buffer.status);
}
