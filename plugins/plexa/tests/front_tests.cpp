#include <gtest/gtest.h>

#include <string.h>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "common/trace.h"
#include "plugins/plexa/device_item.h"
#include "plugins/plexa/plexa_front.h"
#include "powerline/tests/fake_rawport.h"
#include "powerline/tests/test_stations.h"
#include "tools/plcsim/answers.h"

using namespace fakerawport;
using testsupport::CTempDir;

namespace {

using testsupport::CTestKey;
using namespace teststations;

const char kAdapter[] = "\\Device\\NPF_{FRONT}";

struct tPromptLog {
    int calls = 0;
    std::string caption, prompt, current;
    size_t maxLength = 0;
    bool answer = true;
    std::string newName = "Study";
};
tPromptLog g_prompt;

bool FakePrompt(HWND, HINSTANCE, const std::string& caption, const std::string& prompt, std::string& name,
                size_t maxLength)
{
    ++g_prompt.calls;
    g_prompt.caption = caption;
    g_prompt.prompt = prompt;
    g_prompt.current = name;
    g_prompt.maxLength = maxLength;
    if (g_prompt.answer)
        name = g_prompt.newName;
    return g_prompt.answer;
}


std::string WaitForText(const std::string& path)
{
    for (int i = 0; i < 100; ++i) {
        std::string text = testsupport::ReadFileText(path);
        if (!text.empty())
            return text;
        Sleep(50);
    }
    return std::string();
}

class FrontTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_ini = testsupport::ProgramFolder() + "\\plexa_front_tests.ini";
        DeleteFileA(m_ini.c_str());
        tFakeAdapter adapter;
        adapter.name = kAdapter;
        memcpy(adapter.station, kPc.bytes, 6);
        Install({adapter});
        SetSendsPending(false);
        g_prompt = tPromptLog();
        SetEnvironmentVariableA("VELMORA_CHILD_REPORT", m_dir.File("report.txt").c_str());
    }
    void TearDown() override
    {
        if (m_initialised) {
            m_front.Cleanup();
            m_front.Detach();
        }
        Uninstall();
        TraceCloseAll();
        DeleteFileA(m_ini.c_str());
        SetEnvironmentVariableA("VELMORA_CHILD_REPORT", nullptr);
    }

    void Start()
    {
        m_front.Attach(GetModuleHandleA(nullptr));
        m_front.Init();
        m_front.SetNamePrompt(FakePrompt);
        DiscoveryStart(m_front.Discovery());
        m_initialised = true;
    }

    // One local device hearing one remote device, which is also an audio device.
    void SeeNetwork(const std::string& path = "/live stream")
    {
        tPortAdapter* adapter = PortFirstAdapter(m_front.Discovery()->port);
        ASSERT_NE(nullptr, adapter);
        std::vector<uint8_t> netStat = AnswerNetStat(kPc, kLocal, {{kRemote, 519}});
        bool changed = false;
        DiscoveryHandleFrame(m_front.Discovery(), adapter, netStat.data(), netStat.size(), changed);
        tHelloAnnouncement hello;
        hello.stream = true;
        hello.ip = 0x140012C6;
        hello.station = kRemote;
        hello.path = path;
        std::vector<uint8_t> bytes = AnswerHello(kPc, kRemote, 0x140012C6, hello);
        DiscoveryHandleFrame(m_front.Discovery(), adapter, bytes.data(), bytes.size(), changed);
        m_front.RebuildNow(false);
    }

    CPlexaFront& m_front = CPlexaFront::Instance();
    CTempDir m_dir;
    std::string m_ini;
    bool m_initialised = false;
};

} // namespace

TEST_F(FrontTest, RenameStoresTheNameAndAnnouncesChangedOptions)
{
    Start();
    SeeNetwork();
    ASSERT_EQ(2, m_front.Tree()->GetCount());
    bool changed = false;
    ResetEvent(m_front.Discovery()->changeEvent);
    CPlexaFront::OnRename(nullptr, 2001, &changed); // any row of the device's block
    EXPECT_EQ(1, g_prompt.calls);
    EXPECT_EQ("Change device name", g_prompt.caption);
    EXPECT_EQ("Please enter a name for the device.", g_prompt.prompt);
    EXPECT_EQ("", g_prompt.current);
    EXPECT_EQ(200u, g_prompt.maxLength);
    EXPECT_TRUE(changed);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_front.Discovery()->changeEvent, 0)) << "the tree is rebuilt";
    std::string ini = testsupport::ReadFileText(m_ini);
    EXPECT_NE(std::string::npos, ini.find("[devicenames]")) << ini;
    EXPECT_NE(std::string::npos, ini.find("02:00:00:00:00:02=Study")) << ini;

    m_front.RebuildNow(false);
    EXPECT_EQ("Study (via the power supply grid)", m_front.Tree()->FindItem(2000)->GetName());
    EXPECT_EQ("Brindle Plexa Audio", m_front.Tree()->FindItem(2004)->GetValue());

    // Cancel changes nothing; the current name is offered.
    g_prompt.answer = false;
    changed = false;
    CPlexaFront::OnRename(nullptr, 2000, &changed);
    EXPECT_EQ("Study", g_prompt.current);
    EXPECT_FALSE(changed);

    // A device that is gone from the tree is not asked about.
    CPlexaFront::OnRename(nullptr, 9002, &changed);
    EXPECT_EQ(2, g_prompt.calls);
}

TEST_F(FrontTest, ShareableOptionsBothWaysWithinBounds)
{
    Start();
    EXPECT_STREQ("", m_front.GetShareableOptions());
    m_front.SetShareableOptions("devicenames.02:00:00:00:00:01=Kitchen\ndevicenames.02:00:00:00:00:02=Hall\n"
                                "DialogSettings.SharedOptions=0\n");
    EXPECT_STREQ("devicenames.02:00:00:00:00:01=Kitchen\ndevicenames.02:00:00:00:00:02=Hall\n",
                 m_front.GetShareableOptions());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_front.Discovery()->changeEvent, 0));
    EXPECT_EQ(std::string::npos, testsupport::ReadFileText(m_ini).find("DialogSettings"))
        << "only the names section is ever written";

    std::string flood;
    for (int i = 0; i < 300; ++i) {
        char line[64];
        snprintf(line, sizeof line, "devicenames.02:00:00:00:%02X:%02X=n%d\n", 0x10 + i / 256, i % 256, i);
        flood += line;
    }
    m_front.SetShareableOptions(flood);
    m_front.SetShareableOptions(flood);
    std::string all = m_front.GetShareableOptions();
    EXPECT_EQ(kMaxSharedNames, static_cast<size_t>(std::count(all.begin(), all.end(), '\n')))
        << "the store stops growing at its bound";
    m_front.SetShareableOptions("devicenames.02:00:00:00:00:01=Larder\n");
    EXPECT_NE(std::string::npos, std::string(m_front.GetShareableOptions()).find("=Larder\n"))
        << "known devices can still be renamed";
}

TEST_F(FrontTest, CancelledGetStateReturnsAnEmptyTree)
{
    Start();
    SeeNetwork();
    raii::CHandle cancel(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    raii::CHandle refresh(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    CState* tree = m_front.GetState(cancel.Get(), refresh.Get());
    ASSERT_NE(nullptr, tree);
    EXPECT_EQ(0, tree->GetCount());
}

TEST_F(FrontTest, ControlDeviceOpensTheBrowserOnTheDevicePage)
{
    std::string child = testsupport::ProgramFolder() + "\\xutil_child.exe";
    CTestKey browser(HKEY_CLASSES_ROOT, "http\\shell\\open\\command");
    browser.SetString(nullptr, "\"" + child + "\" -nohome \"%1\"");
    Start();
    SeeNetwork();
    const tItemActions* actions = m_front.Tree()->FindItem(2000)->GetActions();
    ASSERT_NE(nullptr, actions);
    ASSERT_GE(actions->size(), 3u);
    EXPECT_EQ("&Control device", (*actions)[2].text);
    EXPECT_EQ("", (*actions)[1].text) << "a separator before it";
    (*actions)[2].proc(nullptr, 2003, nullptr);
    EXPECT_EQ("\"" + child + "\" -nohome \"http://198.18.0.20/\"\n", WaitForText(m_dir.File("report.txt")));
}

TEST_F(FrontTest, PlayersGetTheStreamQuotedWhenItHasABlank)
{
    std::string child = testsupport::ProgramFolder() + "\\xutil_child.exe";
    std::string players = m_dir.File("players");
    CreateDirectoryA(players.c_str(), nullptr);
    CopyFileA(child.c_str(), (players + "\\wmplayer.exe").c_str(), FALSE);
    CopyFileA(child.c_str(), (players + "\\winamp.exe").c_str(), FALSE);
    CTestKey wmp(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\wmplayer.exe");
    wmp.SetString(nullptr, players + "\\wmplayer.exe");
    CTestKey winamp(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp");
    winamp.SetString("UninstallString", "\"" + players + "\\UninstWA.exe\" /S");
    EXPECT_EQ(players + "\\wmplayer.exe", FindMediaPlayer());
    EXPECT_EQ(players + "\\winamp.exe", FindWinamp());

    Start();
    SeeNetwork("/live stream");
    const tItemActions* actions = m_front.Tree()->FindItem(2000)->GetActions();
    ASSERT_EQ(5u, actions->size()) << "the audio stream menu with both players";
    EXPECT_EQ("Play with Windows &Media Player", (*actions)[3].text);
    EXPECT_EQ("Play with &Winamp", (*actions)[4].text);
    (*actions)[3].proc(nullptr, 2000, nullptr);
    std::string report = WaitForText(m_dir.File("report.txt"));
    EXPECT_NE(std::string::npos, report.find("/play \"http://198.18.0.20/live stream\"")) << report;
    DeleteFileA(m_dir.File("report.txt").c_str());
    (*actions)[4].proc(nullptr, 2000, nullptr);
    report = WaitForText(m_dir.File("report.txt"));
    EXPECT_NE(std::string::npos, report.find("winamp.exe \"http://198.18.0.20/live stream\"")) << report;

    // A device whose stream path would add arguments of its own offers no stream at all.
    SeeNetwork("/x\" /evil \"y");
    actions = m_front.Tree()->FindItem(2000)->GetActions();
    ASSERT_EQ(3u, actions->size()) << "the audio menu, without players";
}

TEST_F(FrontTest, MenusOfferOnlyWhatIsInstalled)
{
    EXPECT_EQ("", FindWinamp());
    Start();
    EXPECT_EQ(1u, m_front.Menus().device.size()) << "no wizard installed";
    EXPECT_EQ(3u, m_front.Menus().audio.size());
    EXPECT_EQ(3u + (FindMediaPlayer().empty() ? 0 : 1), m_front.Menus().audioStream.size());
}

TEST(PlexaHelpers, BrowserCommands)
{
    EXPECT_EQ("browser.exe -page \"http://x/\"", BrowserCommand("browser.exe -page \"%1\"", "http://x/"));
    EXPECT_EQ("browser.exe http://x/", BrowserCommand("browser.exe", "http://x/"));
    EXPECT_EQ("b.exe http://x/ %1", BrowserCommand("b.exe %1 %1", "http://x/")) << "the first %1 only";
    EXPECT_EQ("b.exe \"http://x/a b\"", BrowserCommand("b.exe %1", "http://x/a b")) << "one argument";
    EXPECT_EQ("b.exe \"http://x/a b\"", BrowserCommand("b.exe \"%1\"", "http://x/a b")) << "quoted by the command";
    EXPECT_EQ("b.exe \"http://x/a b\"", BrowserCommand("b.exe", "http://x/a b"));

    EXPECT_TRUE(IsPlainCommandText("http://198.18.0.5:8000/live stream"));
    EXPECT_FALSE(IsPlainCommandText(""));
    EXPECT_FALSE(IsPlainCommandText("http://x/\" -evil"));
    EXPECT_FALSE(IsPlainCommandText("http://x/\r\nb"));
    EXPECT_FALSE(IsPlainCommandText("http://x/\xE9"));
}
