#include "plexaconf/tests/fake_network.h"

using namespace fakerawport;

namespace fakenetwork {

const char kAdapter[] = "\\Device\\NPF_{PLEXACONF}";

tKeyTimings FastTimings()
{
    tKeyTimings t;
    t.localZivudConfirm = 300;
    t.eepromWait = 60;
    t.afterSetKey = 5;
    t.zivudCheckWait = 30;
    t.remoteKeyWindow = 40;
    t.remoteKeyPause = 5;
    t.statRspWait = 40;
    return t;
}

const char kHomePlugNetwork[] = R"(
[local desk]
address = 02:00:00:00:00:01
kind = homeplug
password = Factory
[remote study]
address = 02:00:00:00:00:02
password = Factory
security_id = STUDY00000000002
[remote attic]
address = 02:00:00:00:00:03
password = Elsewhere
security_id = ATTIC00000000003
[remote neighbour]
address = 02:00:00:00:00:09
password = NotOurs
security_id = NEIGHBOUR0000009
)";

const char kVendorNetwork[] = R"(
[local desk]
address = 02:00:00:00:00:01
kind = hs
password = Factory
[remote study]
address = 02:00:00:00:00:02
kind = hs
password = Factory
security_id = STUDY00000000002
[remote attic]
address = 02:00:00:00:00:03
kind = hs
password = Elsewhere
security_id = ATTIC00000000003
[remote neighbour]
address = 02:00:00:00:00:09
kind = hs
password = NotOurs
security_id = NEIGHBOUR0000009
)";

void CFakeNetworkTest::SetUp()
{
    TraceCloseAll();
    TraceInit(("x /debug:" + m_dir.File("trace.log")).c_str());
    tFakeAdapter adapter;
    adapter.name = kAdapter;
    memcpy(adapter.station, kPc.bytes, 6);
    Install({adapter});
    SetSendsPending(false);
    SetSendHook([this](const tSentFrame& sent) {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<tBytes> answers;
        if (m_responder)
            answers = m_responder(sent.bytes);
        else if (m_emulator)
            for (const tEmulatorFrame& f : m_emulator->OnFrame("eth", sent.bytes.data(), sent.bytes.size()))
                answers.push_back(f.bytes);
        for (const tBytes& answer : answers)
            Deliver(kAdapter, answer);
    });
    m_layer.reset(new CAdapterLayer(FastTimings()));
    ASSERT_TRUE(m_layer->Start());
    ASSERT_EQ(1u, m_layer->Adapters().size());
    m_adapter = m_layer->Adapters().front();
}

void CFakeNetworkTest::TearDown()
{
    SetSendHook(nullptr);
    m_later.clear();
    m_adapter.reset();
    m_layer.reset();
    Uninstall();
    TraceCloseAll();
}

void CFakeNetworkTest::Network(const char* scenario)
{
    tScenario parsed;
    std::string error;
    ASSERT_TRUE(ParseScenario(scenario, parsed, error)) << error;
    std::lock_guard<std::mutex> guard(m_lock);
    m_emulator.reset(new CEmulator(parsed, KeyFromPassword));
}

void CFakeNetworkTest::Script(tResponder responder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_responder = std::move(responder);
}

void CFakeNetworkTest::Search()
{
    m_layer->StartSearch(3, 1);
    ASSERT_TRUE(m_layer->WaitFirstResult(2000));
    ASSERT_TRUE(m_layer->WaitSearchDone(2000));
}

tNetworkKey CFakeNetworkTest::KeyOf(const char* name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (size_t i = 0; i < m_emulator->Devices().size(); ++i)
        if (m_emulator->Devices()[i].name == name)
            return m_emulator->KeysOf(i).nek;
    ADD_FAILURE() << name;
    return tNetworkKey();
}

std::string CFakeNetworkTest::Trace()
{
    return testsupport::ReadFileText(m_dir.File("trace.log"));
}

size_t CFakeNetworkTest::CountInTrace(const std::string& text)
{
    std::string trace = Trace();
    size_t count = 0;
    for (size_t at = trace.find(text); at != std::string::npos; at = trace.find(text, at + 1))
        ++count;
    return count;
}

void CFakeNetworkTest::Later(DWORD ms, tBytes frame)
{
    m_later.emplace_back(new CThread);
    m_later.back()->Start([ms, frame](CThread& self) {
        if (!self.WaitForStop(ms))
            Deliver(kAdapter, frame);
    });
}

} // namespace fakenetwork
