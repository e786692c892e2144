// The device operations and the key engine against an adapter that answers frames: the
// in-memory rawport, with either the emulator's devices or a scripted device behind it.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

#include "common/registry.h"
#include "common/thread.h"
#include "common/tests/test_support.h"
#include "common/trace.h"
#include "plexaconf/plexa_engine.h"
#include "plexaconf/security_ids.h"
#include "plexaconf/tests/fake_network.h"
#include "powerline/tests/fake_rawport.h"
#include "tools/plcsim/answers.h"
#include "tools/plcsim/emulator.h"

using namespace fakerawport;
using namespace fakenetwork;

namespace {


// Entry types of the frames sent since the last ClearSent, in order.
std::vector<int> SentTypes()
{
    std::vector<int> types;
    for (const tSentFrame& f : Sent())
        types.push_back(f.bytes.size() > 15 ? f.bytes[15] : -1);
    return types;
}

int CountSent(int type)
{
    std::vector<int> types = SentTypes();
    return static_cast<int>(std::count(types.begin(), types.end(), type));
}

// A local adapter's EEPROM block that shows a key.
tBytes Eeprom(const tMacAddress& from, const tNetworkKey& key, uint8_t length = 0x33)
{
    uint8_t block[51] = {};
    block[kImageEks] = kEksNetwork;
    memcpy(block + kImageKey, key.bytes, 8);
    tBytes frame = AnswerEeprom(kPc, from, block);
    frame[16] = length;
    return frame;
}

bool IsEntry(const tBytes& frame, uint8_t type)
{
    return frame.size() > 15 && frame[15] == type;
}

class EngineTest : public CFakeNetworkTest {
protected:
    // The local adapter keeps showing the key it has now, whatever it is told.
    void KeepShowingTheKeyOfTheDesk()
    {
        tNetworkKey shown = KeyOf("desk");
        Script([shown](const tBytes& sent) {
            std::vector<tBytes> answers;
            if (IsEntry(sent, kEntryEeprom))
                answers.push_back(Eeprom(kDesk, shown));
            return answers;
        });
    }
};

} // namespace

TEST_F(EngineTest, SearchFindsTheLocalAdapterAndTheStationsItSees)
{
    Network(kHomePlugNetwork);
    Search();
    std::vector<std::shared_ptr<CLocalPlexaAdapter>> locals = m_adapter->LocalAdapters();
    ASSERT_EQ(1u, locals.size());
    EXPECT_EQ(kDesk, locals[0]->Address());
    EXPECT_EQ(ADAPTER_HOMEPLUG, locals[0]->Kind());
    EXPECT_EQ(std::vector<tMacAddress>{kStudy}, m_adapter->Stations()) << "only the device with the same key";
    EXPECT_EQ(m_adapter, m_layer->AdapterOfLocal(kDesk));

    Network(kVendorNetwork);
    Search();
    locals = m_adapter->LocalAdapters();
    ASSERT_EQ(1u, locals.size());
    EXPECT_EQ(ADAPTER_ZIVUD, locals[0]->Kind());
    EXPECT_EQ(std::vector<tMacAddress>{kStudy}, m_adapter->Stations());
}

TEST_F(EngineTest, AddRemoteGivesAHomePlugAdapterTheKeyThroughItsAccessKey)
{
    Network(kHomePlugNetwork);
    Search();
    CPlexaEngine engine(*m_layer);
    tMacAddress found = MacZero();
    tNetworkKey attic = CPlexaEngine::PasswordToKey("ATTIC00000000003");
    EXPECT_EQ(ADAPTER_HOMEPLUG, engine.AddRemote(nullptr, attic, found));
    EXPECT_EQ(kAttic, found);
    EXPECT_EQ(KeyOf("desk"), KeyOf("attic")) << "local and remote share the random key";
    EXPECT_NE(CPlexaEngine::PasswordToKey("Factory"), KeyOf("desk"));
    EXPECT_EQ(CPlexaEngine::PasswordToKey("NotOurs"), KeyOf("neighbour"));
    EXPECT_NE(std::string::npos, Trace().find("Random NEK: " + KeyToHex(KeyOf("desk"))));
    EXPECT_NE(std::string::npos, Trace().find("Setting local DEK succeeded"));
    EXPECT_NE(std::string::npos, Trace().find("Setting remote NEK succeeded"));

    // The final key, for every adapter in the list.
    tNetworkKey nek = CPlexaEngine::PasswordToKey("Our new password");
    EXPECT_EQ(ADAPTER_HOMEPLUG, engine.SetLocalNEK(kDesk, nek));
    EXPECT_EQ(ADAPTER_HOMEPLUG, engine.SetKnownRemote(&attic, nek, kAttic));
    tNetworkKey study = CPlexaEngine::PasswordToKey("STUDY00000000002");
    EXPECT_EQ(ADAPTER_HOMEPLUG, engine.SetKnownRemote(&study, nek, kStudy));
    EXPECT_EQ(nek, KeyOf("desk"));
    EXPECT_EQ(nek, KeyOf("attic"));
    EXPECT_EQ(nek, KeyOf("study"));
    EXPECT_EQ(CPlexaEngine::PasswordToKey("NotOurs"), KeyOf("neighbour"));
    std::set<tMacAddress> answering = m_adapter->AnsweringStations(100);
    EXPECT_EQ((std::set<tMacAddress>{kDesk, kStudy, kAttic}), answering);
}

TEST_F(EngineTest, AddRemoteReachesAnAdapterOfTheVendorKind)
{
    Network(kVendorNetwork);
    Search();
    CPlexaEngine engine(*m_layer);
    tMacAddress found = MacZero();
    tNetworkKey nek = CPlexaEngine::PasswordToKey("Our new password");
    tNetworkKey attic = CPlexaEngine::PasswordToKey("ATTIC00000000003");
    EXPECT_EQ(ADAPTER_ZIVUD, engine.AddRemote(&nek, attic, found));
    EXPECT_EQ(kAttic, found);
    EXPECT_EQ(nek, KeyOf("desk"));
    EXPECT_EQ(nek, KeyOf("attic"));
    EXPECT_NE(std::string::npos, Trace().find("addRemote received NEK"));
    EXPECT_NE(std::string::npos, Trace().find("We found a Zivud"));
    EXPECT_NE(std::string::npos, Trace().find("HPSetNEKResp returned with: 02:00:00:00:00:03"));

    found = MacZero();
    EXPECT_EQ(0, engine.AddRemote(nullptr, CPlexaEngine::PasswordToKey("NOBODY0000000000"), found))
        << "no adapter knows that security ID";
    EXPECT_EQ(MacZero(), found);
    EXPECT_EQ(CPlexaEngine::PasswordToKey("NotOurs"), KeyOf("neighbour"));
}

TEST_F(EngineTest, AddRemoteStopsWhenTheLocalAdapterRefusesTheKey)
{
    Network(kHomePlugNetwork);
    Search();
    KeepShowingTheKeyOfTheDesk();
    ClearSent();
    CPlexaEngine engine(*m_layer);
    tMacAddress found = MacZero();
    EXPECT_EQ(kAddRemoteLocalFailed, engine.AddRemote(nullptr, CPlexaEngine::PasswordToKey("ATTIC00000000003"), found));
    EXPECT_EQ(4, CountSent(kEntryEeprom)) << "one read before the key, three checks after it";
    EXPECT_EQ(1, CountSent(kEntrySetKey)) << "the local key only";
    for (const tSentFrame& f : Sent())
        EXPECT_EQ(272u, IsEntry(f.bytes, kEntrySetKey) ? f.bytes.size() : 272u) << "no key frame for remote adapters";
    EXPECT_EQ(0, CountSent(kEntryStatReq));
    EXPECT_EQ(0, CountSent(kEntryRemoteKey));
    EXPECT_NE(std::string::npos, Trace().find("EEPROM check failed"));
}

TEST_F(EngineTest, ARemoteKeyTheEepromNeverShowsIsCheckedThreeTimesAndTheStepGoesOn)
{
    Network(kHomePlugNetwork);
    Search();
    KeepShowingTheKeyOfTheDesk();
    ClearSent();
    tNetworkKey dak = CPlexaEngine::PasswordToKey("STUDY00000000002");
    tMacAddress found = MacZero();
    EXPECT_EQ(0, m_adapter->SetDevice(&dak, CPlexaEngine::PasswordToKey("Our password"), kStudy, false, found))
        << "nobody answers the status request";
    EXPECT_EQ(4, CountSent(kEntryEeprom)) << "one read first, then three checks of the network key (none of the default key)";
    EXPECT_EQ(3u, CountInTrace("CompareEEPROM failed."));
    std::string trace = Trace();
    EXPECT_NE(std::string::npos, trace.find("Setting local DEK succeeded"));
    size_t failed = trace.find("Setting remote NEK failed");
    EXPECT_NE(std::string::npos, failed);
    EXPECT_LT(failed, trace.find("Returned unsuccesful from waiting for HPReqStatsResp")) << "the status request still follows";
    EXPECT_EQ(1, CountSent(kEntryStatReq));
}

TEST_F(EngineTest, EepromAnswerOfAnotherLengthGetsExactlyOneMoreWait)
{
    Network(kHomePlugNetwork);
    Search();
    const tNetworkKey key = CPlexaEngine::PasswordToKey("x");
    // Two answers of a wrong length to the first request, the second a little later: it ends
    // the one more wait, and there is no second request.
    Script([&](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (IsEntry(sent, kEntryEeprom)) {
            answers.push_back(Eeprom(kDesk, key, 0x20));
            Later(50, Eeprom(kDesk, key, 0x21));
        }
        return answers;
    });
    ClearSent();
    tKeyResponse last;
    EXPECT_TRUE(m_adapter->ReceiveEEPROMSync(kDesk, 200, &last));
    EXPECT_EQ(1, CountSent(kEntryEeprom));
    EXPECT_EQ(0x21, last.entryLength);

    // One wrong answer only: the one more wait runs out, and the request goes to the adapter.
    Script([&](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (IsEntry(sent, kEntryEeprom))
            answers.push_back(sent[0] == 0xFF ? Eeprom(kDesk, key, 0x20) : Eeprom(kDesk, key));
        return answers;
    });
    ClearSent();
    DWORD start = GetTickCount();
    EXPECT_TRUE(m_adapter->ReceiveEEPROMSync(kDesk, 200, &last));
    EXPECT_GE(GetTickCount() - start, 190u) << "one more wait of the full time";
    ASSERT_EQ(2, CountSent(kEntryEeprom));
    EXPECT_EQ(kDesk, MacFromBytes(Sent()[1].bytes.data()));
    EXPECT_EQ(kEepromSelectorAdapter, Sent()[1].bytes[17]);
    EXPECT_TRUE(last.eepromValid);
    tNetworkKey shown;
    ASSERT_TRUE(m_adapter->LocalAdapter()->ImageKey(shown));
    EXPECT_EQ(key, shown);

    Script([](const tBytes&) { return std::vector<tBytes>(); });
    EXPECT_FALSE(m_adapter->ReceiveEEPROMSync(kDesk, 30));
    EXPECT_NE(std::string::npos, Trace().find("Receiving EEPROM failed"));
}

TEST_F(EngineTest, AnswersFromUnexpectedSendersChangeNothing)
{
    Network(kHomePlugNetwork);
    Search();
    const tNetworkKey forged = CPlexaEngine::PasswordToKey("forged");
    Script([&](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (IsEntry(sent, kEntryEeprom)) {
            answers.push_back(Eeprom(kStudy, forged)); // not the local adapter
            tBytes elsewhere = Eeprom(kDesk, forged);
            elsewhere[5] = 0x77; // to another station
            answers.push_back(elsewhere);
            tBytes cut = Eeprom(kDesk, forged);
            cut.resize(40); // the block does not fit
            answers.push_back(cut);
        }
        return answers;
    });
    tKeyResponse last;
    EXPECT_TRUE(m_adapter->ReceiveEEPROMSync(kDesk, 100, &last)) << "the cut answer ends the waits";
    EXPECT_FALSE(last.eepromValid);
    EXPECT_FALSE(m_adapter->LocalAdapter()->HasValidImage()) << "no block was taken";
}

TEST_F(EngineTest, AFloodOfAnswersCannotGrowThePicture)
{
    Network(kHomePlugNetwork);
    Script([&](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (IsEntry(sent, kEntryStatReq))
            for (int i = 0; i < 30; ++i) {
                tMacAddress station = {{0x02, 0xBB, 0, 0, static_cast<uint8_t>(sent.size()), static_cast<uint8_t>(i)}};
                answers.push_back(AnswerStatRsp(kPc, station));
            }
        if (IsEntry(sent, kEntryNetStat))
            for (int i = 0; i < 12; ++i)
                answers.push_back(AnswerNetStat(kPc, Mac("02:00:00:00:00:40"), {}));
        if (IsEntry(sent, kEntryVendor))
            for (int i = 0; i < 12; ++i) {
                tMacAddress local = {{0x02, 0xCC, 0, 0, 0, static_cast<uint8_t>(i)}};
                answers.push_back(AnswerDeviceDescription(kPc, local, false));
            }
        return answers;
    });
    Search();
    EXPECT_EQ(kMaxLocalAdapters, m_adapter->LocalAdapters().size());
    EXPECT_LE(m_adapter->Stations().size(), kMaxStations);
    EXPECT_GT(m_adapter->Stations().size(), 0u);
}

TEST_F(EngineTest, DeviceOperationsKeepToTheLocalAdapter)
{
    Network(kHomePlugNetwork);
    Search();
    ClearSent();
    EXPECT_FALSE(m_adapter->CheckDeviceForZivud(kDesk));
    EXPECT_TRUE(Sent().empty()) << "the local adapter is asked nothing";
    EXPECT_NE(std::string::npos, Trace().find("Checking device 02:00:00:00:00:01 for zivud with the result: homeplug"));

    // Only the local adapter answers the status request: it is never the adapter found.
    Script([&](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (IsEntry(sent, kEntryEeprom))
            answers.push_back(Eeprom(kDesk, CPlexaEngine::PasswordToKey("n")));
        if (IsEntry(sent, kEntryStatReq))
            answers.push_back(AnswerStatRsp(kPc, kDesk));
        return answers;
    });
    tMacAddress found = MacZero();
    tNetworkKey dak = CPlexaEngine::PasswordToKey("d");
    EXPECT_EQ(0, m_adapter->SetDevice(&dak, CPlexaEngine::PasswordToKey("n"), MacBroadcast(), true, found));
    EXPECT_EQ(MacZero(), found);
    EXPECT_NE(std::string::npos, Trace().find("Returned unsuccesful from waiting for HPReqStatsResp"));

    // A second local adapter appears: no key operation picks one of them.
    Script([&](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (IsEntry(sent, kEntryNetStat))
            answers = {AnswerNetStat(kPc, kDesk, {}), AnswerNetStat(kPc, Mac("02:00:00:00:00:05"), {})};
        return answers;
    });
    Search();
    ClearSent();
    EXPECT_EQ(0, m_adapter->SetDevice(&dak, CPlexaEngine::PasswordToKey("n"), MacBroadcast(), true, found));
    EXPECT_TRUE(Sent().empty());
    EXPECT_NE(std::string::npos, Trace().find("We found 2 devices!"));
    EXPECT_NE(std::string::npos, Trace().find(" - MACAddress: 02:00:00:00:00:05"));
}

TEST_F(EngineTest, AStuckSendFailsTheStepInsteadOfHangingIt)
{
    Network(kVendorNetwork);
    Search();
    SetSendsNeverComplete(true);
    CPlexaEngine engine(*m_layer);
    DWORD start = GetTickCount();
    EXPECT_EQ(0, engine.SetLocalNEK(kDesk, CPlexaEngine::PasswordToKey("n")));
    EXPECT_LT(GetTickCount() - start, 2u * kPortSendCompletionMs + 2000u);
    EXPECT_NE(std::string::npos, Trace().find("SetLocalZivudNEK failed"));
    SetSendsNeverComplete(false);
}

TEST(RandomKeys, NeverTheDefaultKeyAndNothingWithoutRandomBytes)
{
    CAdapterLayer layer;
    int draws = 0;
    CPlexaEngine engine(layer, [&](uint8_t* buffer, size_t length) {
        ++draws;
        memcpy(buffer, draws == 1 ? DefaultNetworkKey().bytes : CPlexaEngine::PasswordToKey("next").bytes, length);
        return true;
    });
    tNetworkKey key;
    ASSERT_TRUE(engine.RandomKey(key));
    EXPECT_EQ(2, draws);
    EXPECT_EQ(CPlexaEngine::PasswordToKey("next"), key);

    CPlexaEngine stuck(layer, [](uint8_t* buffer, size_t length) {
        memcpy(buffer, DefaultNetworkKey().bytes, length);
        return true;
    });
    EXPECT_FALSE(stuck.RandomKey(key));
    CPlexaEngine broken(layer, [](uint8_t*, size_t) { return false; });
    EXPECT_FALSE(broken.RandomKey(key));

    CPlexaEngine system(layer);
    tNetworkKey a, b;
    ASSERT_TRUE(system.RandomKey(a));
    ASSERT_TRUE(system.RandomKey(b));
    EXPECT_NE(a, b);
}

TEST(StoredIds, KeptOnceInOrderAndTheKeyGoesWithTheLast)
{
    const char path[] = "SOFTWARE\\velmora\\plexaconf-test";
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, path);
    CSecurityIdStore store(HKEY_CURRENT_USER, path);
    EXPECT_TRUE(store.Read().empty());
    EXPECT_TRUE(store.Add("ABCD1234EFGH5678"));
    EXPECT_TRUE(store.Add("ZZZZ1234EFGH5678"));
    EXPECT_TRUE(store.Add("ABCD1234EFGH5678"));
    EXPECT_FALSE(store.Add("SHORT")) << "no security ID";
    EXPECT_EQ((std::vector<std::string>{"ABCD1234EFGH5678", "ZZZZ1234EFGH5678"}), store.Read());
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, path));
    std::vector<std::string> raw;
    ASSERT_TRUE(key.GetMultiString("networkkeys", raw)) << "REG_MULTI_SZ";
    EXPECT_EQ(2u, raw.size());
    key.Close();

    EXPECT_TRUE(store.Remove("ABCD1234EFGH5678"));
    EXPECT_EQ((std::vector<std::string>{"ZZZZ1234EFGH5678"}), store.Read());
    EXPECT_TRUE(store.Remove("ZZZZ1234EFGH5678"));
    EXPECT_FALSE(CRegistryKey::Exists(HKEY_CURRENT_USER, path)) << "the key goes with the last ID";
    EXPECT_TRUE(store.Read().empty());

    // A damaged list: what is no security ID is left out, and duplicates count once.
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, path));
    ASSERT_TRUE(key.SetMultiString("networkkeys", {"ABCD1234EFGH5678", "x", std::string(5000, 'A'), "ABCD1234EFGH5678"}));
    key.Close();
    EXPECT_EQ((std::vector<std::string>{"ABCD1234EFGH5678"}), store.Read());
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, path);

    // More IDs than the search tries: adding and removing keeps every one of them stored.
    char id[17];
    for (int i = 0; i < 40; ++i) {
        snprintf(id, sizeof id, "ID%014d", i);
        ASSERT_TRUE(store.Add(id));
    }
    EXPECT_EQ(kMaxStoredIds, store.Read().size());
    EXPECT_TRUE(store.Remove("ID00000000000000"));
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, path));
    ASSERT_TRUE(key.GetMultiString("networkkeys", raw));
    key.Close();
    EXPECT_EQ(39u, raw.size());
    EXPECT_EQ("ID00000000000039", raw.back());
    EXPECT_EQ("ID00000000000001", store.Read().front());
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, path);
}
