#include <gtest/gtest.h>

#include <algorithm>

#include "common/registry.h"
#include "common/tests/test_support.h"
#include "common/trace.h"
#include "tidemark/cleaner.h"
#include "tidemark/tests/fake_system.h"
#include "tidemark/url_cache.h"

namespace {

void FillRecentListKeys()
{
    for (const char* path : kRecentListKeys) {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, path));
        ASSERT_TRUE(key.SetString("a", "C:\\secret.txt"));
    }
}

class CleanerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_fake.historyUrls = {L"http://one.example/", L"http://two.example/"};
        m_fake.protectedItems = {
            {kAutoCompleteType, kSubtype, L"username:StringData"},
            {kAutoCompleteType, kSubtype, L"username:StringIndex"},
            {kAutoCompleteType, kSubtype, L"http://mail.example/:StringData"},
            {kOtherType, kSubtype, L"private key"},
        };
        m_fake.historyChildren = {"a", "b", "c"};
        for (int i = 0; i < 4; ++i)
            m_fake.AddCache("Cookie:user@site" + std::to_string(i) + ".example/", 0x100000);
        for (int i = 0; i < 5; ++i)
            m_fake.AddCache("http://files.example/" + std::to_string(i) + ".png", 0x1);
        m_fake.AddCache("Visited: user@http://files.example/", 0x200001);
    }

    // Runs like the dialog: count first, then the worker; the bar must end at its range.
    CRecordingProgress Run(const tCleanOptions& options)
    {
        m_job.options = options;
        CRecordingProgress progress(TotalWeight(options, CountUrlCache()));
        RunCleaner(m_job, progress);
        return progress;
    }

    tFakeSystem m_fake;
    CFakeSystemScope m_scope{m_fake};
    tCleanJob m_job;
};

} // namespace

TEST_F(CleanerTest, EveryCombinationOfOptionsEndsTheBarAtItsRange)
{
    for (int mask = 0; mask < 64; ++mask) {
        m_fake = tFakeSystem();
        SetUp();
        tCleanOptions options;
        options.cookies = mask & 1;
        options.tempFiles = mask & 2;
        options.history = mask & 4;
        options.recentLists = mask & 8;
        options.formData = mask & 16;
        options.passwords = mask & 32;
        m_job.cancelled = false;
        CRecordingProgress progress = Run(options);
        EXPECT_EQ(progress.model.Range(), progress.model.Position()) << "options " << mask;
        EXPECT_EQ(1, progress.finished);
        EXPECT_EQ(options.formData || options.passwords ? 1 : 0, m_fake.pstorecLoads)
            << "pstorec.dll is loaded once per run, and only when needed";
        EXPECT_EQ(options.history, m_fake.historyCleared) << mask;
        EXPECT_EQ(options.recentLists ? 1 : 0, m_fake.recentDocumentsCleared) << mask;
        EXPECT_EQ(options.cookies ? 0u : 4u, m_fake.CacheLeft(0x100000)) << mask;
        EXPECT_EQ(options.tempFiles ? 0u : 5u, m_fake.CacheLeft(0)) << mask;
        EXPECT_EQ(1u, m_fake.CacheLeft(0x200000)) << "history entries always stay";
    }
}

TEST_F(CleanerTest, PhasesRunInTheirOrder)
{
    CRecordingProgress progress = Run(tCleanOptions());
    std::vector<std::string> phases;
    for (const auto& entry : progress.log)
        if (entry.compare(0, 6, "phase ") == 0 || entry.compare(0, 8, "history ") == 0)
            phases.push_back(entry);
    EXPECT_EQ((std::vector<std::string>{"phase 6", "phase 6", "phase 7", "phase 7", "phase 4",
                                        "phase 4", "history range 3", "history item a",
                                        "history item b", "history item c", "phase 5", "phase 5",
                                        "phase 5", "phase 5", "phase 5"}),
              phases);
    EXPECT_EQ("finished", progress.log.back());

    // the stores in the same order, the cache last
    auto at = [&](const std::string& event) {
        return std::find(m_fake.events.begin(), m_fake.events.end(), event) - m_fake.events.begin();
    };
    EXPECT_LT(at("pstore-delete:username:StringData"), at("history-clear"));
    EXPECT_LT(at("history-clear"), at("history-delete:http://one.example/"));
    EXPECT_LT(at("history-delete:http://two.example/"), at("history-folder-delete:a"));
    EXPECT_LT(at("history-folder-delete:c"), at("history-entry-delete"));
    EXPECT_LT(at("history-entry-delete"), at("recent-documents"));
    EXPECT_LT(at("recent-documents"), at("cache-delete:Cookie:user@site0.example/"));
    EXPECT_EQ(static_cast<long>(m_fake.events.size()) - 1,
              at("cache-delete:http://files.example/4.png"));
    EXPECT_EQ((std::vector<std::string>{"text 4612", "text 4611", "text 4608", "a", "b", "c", "text 4609"}),
              std::vector<std::string>(progress.texts.begin(), progress.texts.begin() + 7));
}

TEST_F(CleanerTest, FormDataKeepsWebAddressesThatPasswordsTake)
{
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSearchHistoryKey));
    }
    tCleanOptions options = NoOptions();
    options.formData = true;
    Run(options);
    EXPECT_EQ((std::vector<std::wstring>{L"username:StringData"}), m_fake.protectedDeleted);
    EXPECT_FALSE(CRegistryKey::Exists(HKEY_CURRENT_USER, kSearchHistoryKey))
        << "the form data pass also takes the toolbar's search history";

    m_fake.protectedDeleted.clear();
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSearchHistoryKey));
    }
    options = NoOptions();
    options.passwords = true;
    Run(options);
    EXPECT_EQ((std::vector<std::wstring>{L"http://mail.example/:StringData"}), m_fake.protectedDeleted);
    EXPECT_TRUE(CRegistryKey::Exists(HKEY_CURRENT_USER, kSearchHistoryKey));
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, "Software\\Google");
    ASSERT_EQ(2u, m_fake.protectedItems.size());
    EXPECT_EQ(L"username:StringIndex", m_fake.protectedItems[0].name);
    EXPECT_EQ(L"private key", m_fake.protectedItems[1].name);
}

TEST_F(CleanerTest, WithoutPstorecTheProtectedStoragePhasesOnlyAdvance)
{
    m_fake.pstorecPresent = false;
    tCleanOptions options = NoOptions();
    options.formData = options.passwords = true;
    CRecordingProgress progress = Run(options);
    EXPECT_EQ(1, m_fake.pstorecLoads);
    EXPECT_TRUE(m_fake.protectedDeleted.empty());
    EXPECT_EQ(200u, progress.model.Position());
    EXPECT_EQ(200u, progress.model.Range());
}

TEST_F(CleanerTest, HistoryFolderWithoutItemsOrEntryStillAddsItsHundred)
{
    tCleanOptions options = NoOptions();
    options.history = true;
    m_fake.historyChildren.clear();
    CRecordingProgress progress = Run(options);
    EXPECT_EQ(200u, progress.model.Position());
    EXPECT_TRUE(m_fake.historyEntryDeleted) << "an empty entry is deleted itself";

    for (int missing = 0; missing < 2; ++missing) {
        m_fake.historyEntryDeleted = false;
        m_fake.historyEntryPresent = missing != 0;
        m_fake.historyFolderPresent = missing == 0;
        m_fake.historyStorePresent = false;
        progress = Run(options);
        EXPECT_EQ(200u, progress.model.Position());
        EXPECT_FALSE(m_fake.historyEntryDeleted);
    }
}

TEST_F(CleanerTest, AnUndeletableHistoryItemEndsThePassInsteadOfLooping)
{
    tCleanOptions options = NoOptions();
    options.history = true;
    options.recentLists = true;
    m_fake.undeletableChildren = {"b"};
    CRecordingProgress progress = Run(options);
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), m_fake.historyChildren);
    EXPECT_EQ(1u, std::count(progress.log.begin(), progress.log.end(), "history item b"));
    EXPECT_EQ(1, m_fake.recentDocumentsCleared) << "the run goes on";
}

TEST_F(CleanerTest, CancelDuringTheHistoryFolderSkipsEverythingAfter)
{
    m_fake.historyChildren = {"a", "b", "c", "d", "e"};
    m_fake.onEvent = [this](const std::string& event) {
        if (event == "history-folder-delete:b")
            m_job.cancelled = true;
    };
    CRecordingProgress progress = Run(tCleanOptions());
    EXPECT_EQ((std::vector<std::string>{"c", "d", "e"}), m_fake.historyChildren);
    EXPECT_FALSE(m_fake.historyEntryDeleted);
    EXPECT_EQ(0, m_fake.recentDocumentsCleared);
    EXPECT_TRUE(m_fake.cacheDeleted.empty()) << "the cache pass is skipped";
    EXPECT_EQ(1, progress.finished) << "a cancelled run still says it ended";
    EXPECT_EQ("finished", progress.log.back());
}

TEST_F(CleanerTest, CancelStopsTheCachePassBeforeTheNextEntry)
{
    m_fake.onEvent = [this](const std::string& event) {
        if (event == "cache-delete:http://files.example/1.png")
            m_job.cancelled = true;
    };
    tCleanOptions options = NoOptions();
    options.tempFiles = true;
    Run(options);
    EXPECT_EQ(2u, m_fake.cacheDeleted.size());
    EXPECT_EQ(3u, m_fake.CacheLeft(0));
}

TEST_F(CleanerTest, AnUndeletableCacheEntryEndsThePassAndTheRunGoesOn)
{
    m_fake.cache.clear();
    m_fake.AddCache("http://a.example/", 0x1);
    m_fake.AddCache("http://locked.example/", 0x1, 10, true);
    m_fake.AddCache("http://c.example/", 0x1);
    tCleanOptions options = NoOptions();
    options.tempFiles = true;
    CRecordingProgress progress = Run(options);
    EXPECT_EQ((std::vector<std::string>{"http://a.example/"}), m_fake.cacheDeleted);
    EXPECT_EQ(2u, m_fake.CacheLeft(0));
    EXPECT_EQ(1, progress.finished);
}

TEST_F(CleanerTest, LongAndOddUrlsPassWhole)
{
    m_fake.cache.clear();
    std::string longUrl = "http://long.example/" + std::string(70000, 'x') + "?end";
    std::string odd = "http://odd.example/%s%n%d \"quoted\" 'single' <tag> &amp; \xC3\xA4\xE2\x82\xAC\t|";
    m_fake.AddCache(longUrl, 0x1);
    m_fake.AddCache(odd, 0x1);
    m_fake.AddCache("Cookie:user@" + std::string(5000, 'c') + "/", 0x100000);
    tCleanOptions options = NoOptions();
    options.tempFiles = options.cookies = true;
    CRecordingProgress progress = Run(options);
    ASSERT_EQ(3u, m_fake.cacheDeleted.size());
    EXPECT_EQ(longUrl, m_fake.cacheDeleted[0]);
    EXPECT_EQ(odd, m_fake.cacheDeleted[1]);
    EXPECT_EQ("url " + longUrl, progress.log[0]);
    EXPECT_EQ(3u, progress.model.Position());
}

TEST_F(CleanerTest, RecentListKeysGoInOrderEachAnnouncedToAllWindows)
{
    FillRecentListKeys();
    // Top-level windows of this thread hear the broadcasts, one of each character set.
    struct tListener {
        static LRESULT CALLBACK Wide(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
        {
            if (message == WM_SETTINGCHANGE && lParam)
                Heard(true).push_back(Narrow(reinterpret_cast<const wchar_t*>(lParam)));
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        static LRESULT CALLBACK Ansi(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
        {
            if (message == WM_SETTINGCHANGE && lParam)
                Heard(false).push_back(reinterpret_cast<const char*>(lParam));
            return DefWindowProcA(hwnd, message, wParam, lParam);
        }
        static std::vector<std::string>& Heard(bool wide)
        {
            static std::vector<std::string> heard[2];
            return heard[wide];
        }
    };
    WNDCLASSW wide = {};
    wide.lpfnWndProc = tListener::Wide;
    wide.hInstance = GetModuleHandleA(nullptr);
    wide.lpszClassName = L"TidemarkWideListener";
    RegisterClassW(&wide);
    WNDCLASSA ansi = {};
    ansi.lpfnWndProc = tListener::Ansi;
    ansi.hInstance = GetModuleHandleA(nullptr);
    ansi.lpszClassName = "TidemarkAnsiListener";
    RegisterClassA(&ansi);
    HWND listeners[2] = {
        CreateWindowA(ansi.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, ansi.hInstance, nullptr),
        CreateWindowW(wide.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wide.hInstance, nullptr)};
    tListener::Heard(false).clear();
    tListener::Heard(true).clear();

    tCleanOptions options = NoOptions();
    options.recentLists = true;
    CRecordingProgress progress = Run(options);
    for (const char* path : kRecentListKeys)
        EXPECT_FALSE(CRegistryKey::Exists(HKEY_CURRENT_USER, path)) << path;
    EXPECT_EQ(800u, progress.model.Range());
    EXPECT_EQ(800u, progress.model.Position());
    if (listeners[0] && listeners[1]) {
        std::vector<std::string> expected(kRecentListKeys, kRecentListKeys + kRecentListKeyCount);
        EXPECT_EQ(expected, tListener::Heard(false));
        EXPECT_EQ(expected, tListener::Heard(true));
    } else {
        EXPECT_FALSE(testsupport::DisplayRequired()) << "no window without a display";
    }
    for (HWND listener : listeners)
        if (listener)
            DestroyWindow(listener);
}

TEST_F(CleanerTest, EnumerationErrorsAreTracedAndEndThePass)
{
    testsupport::CTempDir dir;
    TraceInit(("x /debug:" + dir.File("trace.log")).c_str());
    tCleanOptions options = NoOptions();
    options.tempFiles = options.cookies = true;
    m_job.options = options;
    m_fake.enumerationError = ERROR_INVALID_HANDLE;
    m_fake.failEnumerationAt = 2;
    CRecordingProgress progress;
    RunCleaner(m_job, progress);
    m_fake.failEnumerationAt = 0;
    RunCleaner(m_job, progress);
    m_fake.failEnumerationAt = -1;
    m_fake.cache.clear();
    RunCleaner(m_job, progress);
    TraceCloseAll();

    std::string trace = testsupport::ReadFileText(dir.File("trace.log"));
    EXPECT_NE(std::string::npos, trace.find("): URL: Cookie:user@site0.example/"));
    EXPECT_NE(std::string::npos, trace.find("): URL: Cookie:user@site1.example/"));
    EXPECT_EQ(std::string::npos, trace.find("site2"));
    EXPECT_NE(std::string::npos, trace.find("): ## FindNextUrlCacheEntry() failed (6)")) << trace;
    EXPECT_NE(std::string::npos, trace.find("): ## FindFirstUrlCacheEntry() failed (6)")) << trace;
    size_t errors = 0;
    for (size_t at = trace.find("failed ("); at != std::string::npos; at = trace.find("failed (", at + 1))
        ++errors;
    EXPECT_EQ(2u, errors) << "an empty cache ends without an error line: " << trace;
    EXPECT_EQ(2u, m_fake.cacheDeleted.size());
    EXPECT_EQ(3, progress.finished);
}
