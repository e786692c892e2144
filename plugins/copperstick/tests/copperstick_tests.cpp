#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/raii.h"
#include "plugins/copperstick/copperstick.h"

namespace {

// A modem driver in memory: answers both requests as configured and counts what it sees.
struct tFakeModem {
    bool present = true;
    bool lineStatusCalls = true;
    uint32_t lineStatusWord = 0;
    uint32_t rates = 0;
    uint32_t lineWord = 0;
    bool atmCalls = true;
    uint32_t atmStatusWord = 0;
    uint32_t vpiVci = 0;
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::vector<std::pair<DWORD, uint32_t>> requests; // code, selector
};
tFakeModem* g_fake;
const HANDLE kFakeHandle = reinterpret_cast<HANDLE>(0x4242);

void PutWord(void* buffer, size_t offset, uint32_t value)
{
    memcpy(static_cast<uint8_t*>(buffer) + offset, &value, 4);
}

HANDLE FakeOpen(const char* path)
{
    if (strcmp(path, "\\\\.\\RazIziDovi") != 0 || !g_fake->present)
        return INVALID_HANDLE_VALUE;
    ++g_fake->opens;
    return kFakeHandle;
}

BOOL FakeControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    if (device != kFakeHandle || inSize != 132 || outSize != 132)
        return FALSE;
    uint32_t selector;
    memcpy(&selector, in, 4);
    g_fake->requests.emplace_back(code, selector);
    *returned = 132;
    if (code == kLineStatusRequest) {
        PutWord(out, 4, g_fake->lineStatusWord);
        PutWord(out, 84, g_fake->rates);
        PutWord(out, 88, g_fake->lineWord);
        return g_fake->lineStatusCalls;
    }
    if (code == kAtmConnectionRequest) {
        PutWord(out, 4, g_fake->atmStatusWord);
        PutWord(out, 8, g_fake->vpiVci);
        return g_fake->atmCalls;
    }
    return FALSE;
}

void FakeClose(HANDLE device)
{
    if (device == kFakeHandle)
        ++g_fake->closes;
}

const tDeviceAccess kFakeAccess = {FakeOpen, FakeControl, FakeClose};

class CopperstickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fake = &m_fake;
        m_fake.lineWord = 2 << 8;                // operational
        m_fake.rates = (128u << 16) | 32u;        // 128 up, 512 down after the factor 4
        m_fake.vpiVci = (8u << 16) | 35u;         // 8/35
        SetDeviceAccess(&kFakeAccess);
        CopperstickAttach(GetModuleHandleA(nullptr));
    }
    void TearDown() override
    {
        CopperstickDetach();
        SetDeviceAccess(nullptr);
    }

    std::string Value(CState* tree, int32_t id)
    {
        CItem* item = tree ? tree->FindItem(id) : nullptr;
        return item ? item->GetValue() : "<missing>";
    }

    tFakeModem m_fake;
    raii::CHandle m_cancel{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    raii::CHandle m_refresh{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

} // namespace

TEST_F(CopperstickTest, FirstGetStateReadsAtOnceAndShowsTheModem)
{
    SetEvent(m_refresh.Get()); // as the monitor does after Init
    DWORD start = GetTickCount();
    CState* tree = CopperstickGetState(m_cancel.Get(), m_refresh.Get());
    EXPECT_LT(GetTickCount() - start, 500u);
    ASSERT_NE(nullptr, tree);
    EXPECT_EQ(PRESENCE_PRESENT, CopperstickPresence());
    CItem* root = tree->GetAt(0);
    ASSERT_NE(nullptr, root);
    EXPECT_EQ("Brindle ADSL Pebble USB", root->GetName());
    EXPECT_EQ(11, root->GetIcon());
    EXPECT_EQ(4, root->GetChildren().GetCount());
    EXPECT_EQ("Operational", Value(tree, ID_DEVICE_STATUS));
    EXPECT_EQ("128 Kbytes/s", Value(tree, ID_UPSTREAM));
    EXPECT_EQ("512 Kbytes/s", Value(tree, ID_DOWNSTREAM));
    EXPECT_EQ("8/35", Value(tree, ID_VPI_VCI));
    EXPECT_EQ("Upstream datarate", tree->FindItem(ID_UPSTREAM)->GetName());
    EXPECT_EQ(6, tree->FindItem(ID_UPSTREAM)->GetIcon());

    ASSERT_EQ(2u, m_fake.requests.size());
    EXPECT_EQ(kLineStatusRequest, m_fake.requests[0].first);
    EXPECT_EQ(0u, m_fake.requests[0].second);
    EXPECT_EQ(kAtmConnectionRequest, m_fake.requests[1].first);
    EXPECT_EQ(1u, m_fake.requests[1].second);
    EXPECT_EQ(1, m_fake.opens.load());
    EXPECT_EQ(1, m_fake.closes.load()) << "the device is closed after every reading";
}

TEST_F(CopperstickTest, NoModemMeansNoTree)
{
    m_fake.present = false;
    DWORD start = GetTickCount();
    EXPECT_EQ(nullptr, CopperstickGetState(m_cancel.Get(), m_refresh.Get()))
        << "the first call does not wait: time-out 0 while the presence is unset";
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(PRESENCE_ABSENT, CopperstickPresence());
    EXPECT_EQ(60000u, PresenceTimeout(PRESENCE_ABSENT));
    EXPECT_EQ(1000u, PresenceTimeout(PRESENCE_PRESENT));
}

TEST_F(CopperstickTest, NotAnsweredStatusWordMeansAbsent)
{
    m_fake.lineStatusWord = 0xC0000001;
    EXPECT_FALSE(UpdateFromModem() && CopperstickPresence() == PRESENCE_PRESENT);
    EXPECT_EQ(PRESENCE_ABSENT, CopperstickPresence());
    EXPECT_EQ(1, m_fake.closes.load());

    m_fake.lineStatusWord = 0;
    m_fake.lineStatusCalls = false; // the control call itself fails
    UpdateFromModem();
    EXPECT_EQ(PRESENCE_ABSENT, CopperstickPresence());
}

TEST_F(CopperstickTest, UnansweredSecondRequestDiscardsTheWholeReading)
{
    ASSERT_TRUE(UpdateFromModem());
    m_fake.rates = (1u << 16) | 1u;
    m_fake.atmStatusWord = 0xC0000001;
    EXPECT_TRUE(UpdateFromModem()) << "presence changed";
    EXPECT_EQ(PRESENCE_ABSENT, CopperstickPresence());
    m_fake.atmStatusWord = 0;
    m_fake.rates = (128u << 16) | 32u;
    EXPECT_TRUE(UpdateFromModem()) << "back, with the same values: the presence alone is a change";
    SetEvent(m_refresh.Get());
    CState* tree = CopperstickGetState(m_cancel.Get(), m_refresh.Get());
    EXPECT_EQ("128 Kbytes/s", Value(tree, ID_UPSTREAM)) << "the half reading was never shown";
}

TEST_F(CopperstickTest, LineStatesAndOddValues)
{
    EXPECT_EQ(static_cast<UINT>(IDS_IDLE), LineStateTextId(0));
    EXPECT_EQ(static_cast<UINT>(IDS_INITIALIZING), LineStateTextId(1));
    EXPECT_EQ(static_cast<UINT>(IDS_OPERATIONAL), LineStateTextId(2));
    EXPECT_EQ(static_cast<UINT>(IDS_FAIL), LineStateTextId(3));
    EXPECT_EQ(0u, LineStateTextId(7));

    m_fake.lineWord = (7u << 8) | 0xF0FF00FF; // other bits around the state are ignored
    SetEvent(m_refresh.Get());
    CState* tree = CopperstickGetState(m_cancel.Get(), m_refresh.Get());
    EXPECT_EQ("", Value(tree, ID_DEVICE_STATUS)) << "a state above 3 shows no text";

    m_fake.lineWord = 3u << 8;
    m_fake.rates = 0xFFFFFFFF;
    ASSERT_TRUE(UpdateFromModem());
    EXPECT_EQ("Fail", Value(tree, ID_DEVICE_STATUS));
    EXPECT_EQ("262140 Kbytes/s", Value(tree, ID_UPSTREAM));
    EXPECT_EQ("262140 Kbytes/s", Value(tree, ID_DOWNSTREAM));
}

TEST_F(CopperstickTest, PresentAndUnchangedWaitsUntilRefreshOrCancel)
{
    SetEvent(m_refresh.Get());
    ASSERT_NE(nullptr, CopperstickGetState(m_cancel.Get(), m_refresh.Get()));
    int opensBefore = m_fake.opens;

    std::atomic<bool> returned{false};
    CState* result = nullptr;
    std::thread worker([&] {
        result = CopperstickGetState(m_cancel.Get(), m_refresh.Get());
        returned = true;
    });
    Sleep(2600);
    EXPECT_FALSE(returned) << "one-second polls that change nothing do not return";
    EXPECT_GE(m_fake.opens - opensBefore, 2) << "but the modem is read every second";
    SetEvent(m_refresh.Get());
    for (int i = 0; i < 100 && !returned; ++i)
        Sleep(10);
    EXPECT_TRUE(returned) << "a refresh returns at once, changed or not";
    worker.join();
    EXPECT_NE(nullptr, result);
}

TEST_F(CopperstickTest, ChangesAndDisappearanceReturnOnTheNextPoll)
{
    SetEvent(m_refresh.Get());
    ASSERT_NE(nullptr, CopperstickGetState(m_cancel.Get(), m_refresh.Get()));
    m_fake.vpiVci = (1u << 16) | 32u;
    DWORD start = GetTickCount();
    CState* tree = CopperstickGetState(m_cancel.Get(), m_refresh.Get());
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ("1/32", Value(tree, ID_VPI_VCI));

    m_fake.present = false;
    EXPECT_EQ(nullptr, CopperstickGetState(m_cancel.Get(), m_refresh.Get()));
}

TEST_F(CopperstickTest, CancelReturnsWithoutReading)
{
    SetEvent(m_refresh.Get());
    CopperstickGetState(m_cancel.Get(), m_refresh.Get());
    int opens = m_fake.opens;
    SetEvent(m_cancel.Get());
    EXPECT_NE(nullptr, CopperstickGetState(m_cancel.Get(), m_refresh.Get())) << "still present";
    EXPECT_EQ(opens, m_fake.opens.load());
}

TEST(CopperstickDevice, NoModemOnThisMachine)
{
    SetDeviceAccess(nullptr);
    tModemReading reading;
    EXPECT_FALSE(QueryModem(reading)) << "the real driver is not installed here";
}
