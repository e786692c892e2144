// The search and assignment procedures of the wizard's workers, against the in-memory network.
#include <gtest/gtest.h>

#include "common/registry.h"
#include "plexaconf/tests/fake_network.h"
#include "plexaconf/wizard_model.h"
#include "tools/plcsim/answers.h"

using namespace fakenetwork;

namespace {

const char kStoreKey[] = "SOFTWARE\\velmora\\plexaconfig-model-test";

tSearchTimings FastSearch()
{
    tSearchTimings t;
    t.rounds = 3;
    t.firstRound = 1;
    t.firstResultMs = 2000;
    t.settleMs = 250;
    return t;
}

class WizardModelTest : public CFakeNetworkTest {
protected:
    void SetUp() override
    {
        CFakeNetworkTest::SetUp();
        CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kStoreKey);
    }
    void TearDown() override
    {
        CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kStoreKey);
        CFakeNetworkTest::TearDown();
    }

    tSearchOutcome RunSearch(const std::string& allow = kAllowAll)
    {
        CPlexaEngine engine(*m_layer);
        CSearchProcedure search(*m_layer, engine, m_store, allow, FastSearch());
        m_progress.clear();
        m_monitorStops = 0;
        m_storedIdsFound = 0;
        return search.Run([this](int position) { m_progress.push_back(position); }, [this] { ++m_monitorStops; },
                          [this] { ++m_storedIdsFound; }, true);
    }

    CSecurityIdStore m_store{HKEY_CURRENT_USER, kStoreKey};
    std::vector<int> m_progress;
    int m_monitorStops = 0;
    int m_storedIdsFound = 0;
};

std::vector<tMacAddress> Addresses(const std::vector<tListedAdapter>& list)
{
    std::vector<tMacAddress> addresses;
    for (const tListedAdapter& listed : list)
        addresses.push_back(listed.address);
    return addresses;
}

} // namespace

TEST_F(WizardModelTest, SearchListsTheLocalAdapterFirstAndStationsOnlyWhenAllowed)
{
    Network(kHomePlugNetwork);
    tSearchOutcome outcome = RunSearch();
    EXPECT_EQ(std::vector<tMacAddress>{kDesk}, outcome.locals);
    EXPECT_EQ((std::vector<tMacAddress>{kDesk, kStudy}), Addresses(outcome.list));
    ASSERT_FALSE(outcome.list.empty());
    EXPECT_TRUE(outcome.list[0].local);
    EXPECT_FALSE(outcome.list[1].hasDak) << "a station seen has no security ID";
    EXPECT_EQ((std::vector<int>{0, 5, 90, 100}), m_progress) << "no stored IDs: 90 before the search";
    EXPECT_EQ(1, m_monitorStops);
    EXPECT_EQ(0, m_storedIdsFound);
    EXPECT_FALSE(outcome.storedIds);

    outcome = RunSearch("none");
    EXPECT_EQ(std::vector<tMacAddress>{kDesk}, Addresses(outcome.list)) << "any other value keeps the stations out";
}

TEST_F(WizardModelTest, StoredIdsAreTriedAndThoseNotFoundOnceMoreAtTheEnd)
{
    Network(kHomePlugNetwork);
    ASSERT_TRUE(m_store.Add("NOBODY0000000001"));
    ASSERT_TRUE(m_store.Add("ATTIC00000000003"));
    tSearchOutcome outcome = RunSearch();
    EXPECT_TRUE(outcome.storedIds);
    EXPECT_EQ(1, m_storedIdsFound);
    EXPECT_EQ((std::vector<int>{0, 5, 50, 100}), m_progress);
    ASSERT_EQ((std::vector<tMacAddress>{kDesk, kStudy, kAttic}), Addresses(outcome.list));
    EXPECT_EQ("ATTIC00000000003", outcome.list[2].securityId);
    EXPECT_TRUE(outcome.list[2].hasDak);
    EXPECT_EQ(2u, CountInTrace("Check remote devices with key: NOBODY0000000001")) << "tried again in a second pass";
    EXPECT_EQ(1u, CountInTrace("Check remote devices with key: ATTIC00000000003"));
    std::string trace = Trace();
    EXPECT_LT(trace.find("key: ATTIC00000000003"), trace.rfind("key: NOBODY0000000001")) << "the second pass comes last";
    EXPECT_NE(std::string::npos, trace.find("addRemote returned successfully with: 02:00:00:00:00:03"));
    EXPECT_NE(CPlexaEngine::PasswordToKey("Elsewhere"), KeyOf("attic")) << "attic took a random key";
    EXPECT_NE(KeyOf("desk"), KeyOf("attic")) << "the second pass gave the local adapter another one";
}

TEST_F(WizardModelTest, ALocalAdapterThatRefusesKeysEndsTheCheck)
{
    Network(kHomePlugNetwork);
    ASSERT_TRUE(m_store.Add("ATTIC00000000003"));
    ASSERT_TRUE(m_store.Add("STUDY00000000002"));
    Script([](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (sent.size() > 15 && sent[15] == kEntryNetStat)
            answers.push_back(AnswerNetStat(kPc, kDesk, {}));
        if (sent.size() > 15 && sent[15] == kEntryEeprom) {
            uint8_t block[51] = {}; // never the new key
            answers.push_back(AnswerEeprom(kPc, kDesk, block));
        }
        return answers;
    });
    tSearchOutcome outcome = RunSearch();
    EXPECT_EQ(1u, CountInTrace("Check remote devices with key:")) << "no further ID, no second pass";
    EXPECT_EQ(std::vector<tMacAddress>{kDesk}, Addresses(outcome.list));
}

TEST_F(WizardModelTest, NoStoredIdIsTriedUnlessExactlyOneLocalAdapterWasFound)
{
    ASSERT_TRUE(m_store.Add("ATTIC00000000003"));
    Script([](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (sent.size() > 15 && sent[15] == kEntryNetStat)
            answers = {AnswerNetStat(kPc, kDesk, {}), AnswerNetStat(kPc, Mac("02:00:00:00:00:05"), {})};
        return answers;
    });
    tSearchOutcome outcome = RunSearch();
    EXPECT_EQ(2u, outcome.locals.size());
    EXPECT_EQ(0, m_storedIdsFound);
    EXPECT_EQ(0u, CountInTrace("Check remote devices"));
}

TEST(AssignmentBar, StepsAndTheirLength)
{
    EXPECT_EQ(9, AssignSteps(3)) << "three remote adapters: the bar runs 0-9";
    EXPECT_EQ(500u, AssignStepMs(3));
    EXPECT_EQ(3, AssignSteps(0));
    EXPECT_EQ(2000u, AssignStepMs(0));
    EXPECT_EQ(1000u, AssignStepMs(1));
    EXPECT_EQ(666u, AssignStepMs(2));
    EXPECT_EQ(500u, AssignStepMs(20));
}

TEST(AdapterList, AStationFoundAgainByItsIdGetsTheIdOnce)
{
    std::vector<tListedAdapter> list;
    tListedAdapter local;
    local.address = kDesk;
    local.local = true;
    list.push_back(local);
    AddToList(list, kStudy, std::string());
    AddToList(list, kStudy, "STUDY00000000002");
    AddToList(list, kDesk, "ATTIC00000000003");
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ("STUDY00000000002", list[1].securityId);
    EXPECT_EQ(CPlexaEngine::PasswordToKey("STUDY00000000002"), list[1].dak);
    EXPECT_TRUE(list[0].securityId.empty()) << "the local adapter takes no ID";
    // Addresses are shown in lower case, as everywhere else.
    EXPECT_EQ("0a:bc:de:f0:12:3f", MacListText(Mac("0A:BC:DE:F0:12:3F")));
}

namespace {

class AssignTest : public WizardModelTest {
protected:
    // The list after the search and the Add button: the local adapter, study and attic with
    // their IDs (attic brought to the local adapter's key by AddRemote).
    std::vector<tListedAdapter> Listed()
    {
        CPlexaEngine engine(*m_layer);
        tMacAddress found = MacZero();
        EXPECT_EQ(ADAPTER_HOMEPLUG, engine.AddRemote(nullptr, CPlexaEngine::PasswordToKey("ATTIC00000000003"), found));
        std::vector<tListedAdapter> list(1);
        list[0].address = kDesk;
        list[0].local = true;
        AddToList(list, kStudy, "STUDY00000000002");
        AddToList(list, kAttic, "ATTIC00000000003");
        return list;
    }
};

} // namespace

TEST_F(AssignTest, EveryAdapterTakesTheKeyAndAnswersUnderIt)
{
    Network(kHomePlugNetwork);
    Search();
    std::vector<tListedAdapter> list = Listed();
    CPlexaEngine engine(*m_layer);
    int operations = 0;
    CAssignProcedure assign(engine, *m_layer, [&](const std::function<void()>& operation) {
        ++operations;
        operation();
    });
    const tNetworkKey nek = CPlexaEngine::PasswordToKey("Our password");
    int steps = 0;
    CThread worker;
    bool completed = false;
    ASSERT_TRUE(worker.Start([&](CThread& self) { completed = assign.Run(self, list, nek, [&] { ++steps; }, 10, 10); }));
    ASSERT_TRUE(worker.Join(30000));
    EXPECT_TRUE(completed);
    EXPECT_EQ(AssignSteps(2), steps);
    EXPECT_EQ(3, operations) << "one key procedure per adapter, each where the wizard runs them";
    for (const tListedAdapter& listed : list) {
        EXPECT_NE(0, listed.result) << MacListText(listed.address);
        EXPECT_TRUE(listed.answers) << MacListText(listed.address);
    }
    EXPECT_EQ(nek, KeyOf("desk"));
    EXPECT_EQ(nek, KeyOf("study"));
    EXPECT_EQ(nek, KeyOf("attic"));
    EXPECT_EQ(CPlexaEngine::PasswordToKey("NotOurs"), KeyOf("neighbour"));
}

TEST_F(AssignTest, NoAdapterAnswersUnderTheNewKeyWhenTheLocalAdapterRefusedIt)
{
    Network(kHomePlugNetwork);
    Search();
    std::vector<tListedAdapter> list = Listed();
    // The local adapter never shows the new key, while every adapter still answers status
    // requests under the key they share.
    Script([](const tBytes& sent) {
        std::vector<tBytes> answers;
        if (sent.size() > 15 && sent[15] == kEntryEeprom) {
            uint8_t block[51] = {};
            answers.push_back(AnswerEeprom(kPc, kDesk, block));
        }
        if (sent.size() > 15 && sent[15] == kEntryStatReq)
            for (const tMacAddress& station : {kDesk, kStudy, kAttic})
                answers.push_back(AnswerStatRsp(kPc, station));
        return answers;
    });
    ASSERT_EQ(3u, m_adapter->AnsweringStations(500).size()) << "all three answer under their present key";
    CPlexaEngine engine(*m_layer);
    CAssignProcedure assign(engine, *m_layer, [](const std::function<void()>& operation) { operation(); });
    CThread worker;
    bool completed = false;
    ASSERT_TRUE(worker.Start([&](CThread& self) {
        completed = assign.Run(self, list, CPlexaEngine::PasswordToKey("Our password"), [] {}, 10, 10);
    }));
    ASSERT_TRUE(worker.Join(60000));
    EXPECT_TRUE(completed);
    for (const tListedAdapter& listed : list) {
        EXPECT_EQ(0, listed.result) << MacListText(listed.address);
        EXPECT_FALSE(listed.answers) << MacListText(listed.address) << " is not on the new key";
    }
}

TEST_F(AssignTest, ACancelledAssignmentStartsNoFurtherAdapter)
{
    Network(kHomePlugNetwork);
    Search();
    std::vector<tListedAdapter> list = Listed();
    tNetworkKey atticBefore = KeyOf("attic");
    CPlexaEngine engine(*m_layer);
    CThread worker;
    int operations = 0;
    CAssignProcedure assign(engine, *m_layer, [&](const std::function<void()>& operation) {
        operation();
        if (++operations == 1)
            worker.RequestStop(); // Cancel while the local adapter is being keyed
    });
    bool completed = true;
    ASSERT_TRUE(worker.Start([&](CThread& self) {
        completed = assign.Run(self, list, CPlexaEngine::PasswordToKey("Our password"), [] {}, 10, 10);
    }));
    ASSERT_TRUE(worker.Join(30000));
    EXPECT_FALSE(completed);
    EXPECT_EQ(1, operations);
    EXPECT_NE(0, list[0].result);
    EXPECT_EQ(0, list[1].result);
    EXPECT_EQ(0, list[2].result);
    EXPECT_EQ(atticBefore, KeyOf("attic"));
}
