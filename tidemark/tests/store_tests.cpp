#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>


#include "common/registry.h"
#include "tidemark/cleaner.h"
#include "tidemark/option_store.h"
#include "tidemark/preview.h"
#include "tidemark/system_access.h"
#include "tidemark/tests/fake_system.h"
#include "tidemark/url_cache.h"

namespace {

class OptionStoreTest : public ::testing::Test {
protected:
    void SetUp() override { CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kOptionsKey); }
    void TearDown() override { CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kOptionsKey); }
};

} // namespace

TEST_F(OptionStoreTest, WithoutTheKeyEveryOptionIsTicked)
{
    EXPECT_TRUE(LoadCleanOptions() == tCleanOptions());
    EXPECT_FALSE(CRegistryKey::Exists(HKEY_CURRENT_USER, kOptionsKey)) << "reading makes nothing";
}

TEST_F(OptionStoreTest, SavingWritesSixDwordsThatReadBack)
{
    tCleanOptions options;
    options.cookies = false;
    options.recentLists = false;
    options.passwords = false;
    ASSERT_TRUE(SaveCleanOptions(options));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Software\\Velmora\\Tidemark"));
    const char* names[] = {"delcookies", "deltempfiles", "delhistory", "delmrus", "delform", "delpwd"};
    DWORD expected[] = {0, 1, 1, 0, 1, 0};
    for (int i = 0; i < 6; ++i) {
        DWORD value = 7;
        EXPECT_TRUE(key.GetDword(names[i], value)) << names[i];
        EXPECT_EQ(expected[i], value) << names[i];
    }
    EXPECT_TRUE(LoadCleanOptions() == options);
}

TEST_F(OptionStoreTest, OddValuesReadAsTheUserWouldExpect)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kOptionsKey));
    key.SetDword("delcookies", 42);      // any non-zero value is ticked
    key.SetDword("deltempfiles", 0);
    key.SetString("delhistory", "0");    // not a DWORD: the default stays
    tCleanOptions options = LoadCleanOptions();
    EXPECT_TRUE(options.cookies);
    EXPECT_FALSE(options.tempFiles);
    EXPECT_TRUE(options.history);
    EXPECT_TRUE(options.recentLists) << "a missing value stays ticked";
}

namespace {

// Entries of this test in the real URL cache of the test's Wine prefix.
class RealCacheTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override
    {
        if (m_locked)
            UnlockUrlCacheEntryFileA(m_lockedUrl.c_str(), 0);
        Clean();
    }

    static bool Mine(const std::string& url) { return url.find("tidemark-test") != std::string::npos; }

    static void Clean()
    {
        for (const std::string& url : Urls())
            if (Mine(url))
                DeleteUrlCacheEntryA(url.c_str());
    }

    static std::vector<std::string> Urls()
    {
        std::vector<std::string> urls;
        CUrlCacheEnumeration cache;
        tCacheEntry entry;
        while (cache.Next(entry))
            if (Mine(entry.url))
                urls.push_back(entry.url);
        return urls;
    }

    static void AddFile(const std::string& url)
    {
        char file[MAX_PATH] = {};
        ASSERT_TRUE(CreateUrlCacheEntryA(url.c_str(), 0, "htm", file, 0)) << GetLastError();
        HANDLE handle = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        DWORD written = 0;
        WriteFile(handle, "<html></html>", 13, &written, nullptr);
        CloseHandle(handle);
        FILETIME none = {};
        ASSERT_TRUE(CommitUrlCacheEntryA(url.c_str(), file, none, none, NORMAL_CACHE_ENTRY, nullptr, 0,
                                         nullptr, nullptr))
            << GetLastError();
    }

    static void AddVisited(const std::string& url)
    {
        FILETIME none = {};
        ASSERT_TRUE(CommitUrlCacheEntryA(("Visited: user@" + url).c_str(), nullptr, none, none,
                                         URLHISTORY_CACHE_ENTRY | NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr));
    }

    void Lock(const std::string& url)
    {
        std::vector<uint64_t> buffer(8192 / 8);
        DWORD size = 8192;
        ASSERT_TRUE(RetrieveUrlCacheEntryFileA(url.c_str(),
                                               reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()), &size, 0));
        m_locked = true;
        m_lockedUrl = url;
    }

    bool m_locked = false;
    std::string m_lockedUrl;
};

size_t Count(const std::vector<std::string>& urls, const std::string& part)
{
    size_t n = 0;
    for (const auto& url : urls)
        n += url.find(part) != std::string::npos;
    return n;
}

} // namespace

TEST_F(RealCacheTest, CookiesGoHistoryStaysAndALockedEntryEndsThePassOnly)
{
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(InternetSetCookieA(("http://tidemark-test-c" + std::to_string(i) + ".example/").c_str(),
                                       "session", "1; expires=Sat, 01-Jan-2050 00:00:00 GMT"));
    for (int i = 0; i < 4; ++i)
        AddFile("http://tidemark-test.example/page" + std::to_string(i) + ".htm");
    std::string longUrl = "http://tidemark-test.example/long?" + std::string(1800, 'a') + "&b=%25s%20%22q%22";
    AddFile(longUrl);
    AddVisited("http://tidemark-test.example/visited");
    ASSERT_EQ(9u, Urls().size());

    tCleanJob job;
    job.options = NoOptions();
    job.options.cookies = true;
    CRecordingProgress progress;
    RunCleaner(job, progress);
    std::vector<std::string> left = Urls();
    EXPECT_EQ(0u, Count(left, "Cookie:")) << "cookies gone";
    EXPECT_EQ(5u, Count(left, "tidemark-test.example/") - 1) << "the other entries stay";
    EXPECT_EQ(1u, Count(left, "Visited:"));

    // a locked entry cannot go: the pass ends there, the run still ends
    Lock("http://tidemark-test.example/page2.htm");
    job.options.tempFiles = true;
    RunCleaner(job, progress);
    left = Urls();
    EXPECT_EQ(1u, Count(left, "page2.htm"));
    EXPECT_EQ(1u, Count(left, "Visited:"));
    EXPECT_EQ(2, progress.finished);

    UnlockUrlCacheEntryFileA(m_lockedUrl.c_str(), 0);
    m_locked = false;
    RunCleaner(job, progress);
    left = Urls();
    EXPECT_EQ((std::vector<std::string>{"Visited: user@http://tidemark-test.example/visited"}), left);
    bool longShown = false;
    for (const auto& entry : progress.log)
        longShown = longShown || entry == "url " + longUrl;
    EXPECT_TRUE(longShown) << "the long URL passed whole";
}

TEST(Preview, CountsWhatTheTickedOptionsCoverAndDeletesNothing)
{
    tFakeSystem fake;
    CFakeSystemScope scope(fake);
    fake.AddCache("Cookie:a@x/", 0x100000, 300);
    fake.AddCache("Cookie:b@x/", 0x100000, 200);
    fake.AddCache("http://x/1.png", 0x1, 5000);
    fake.AddCache("Visited: a@http://x/", 0x200001, 10);
    fake.historyUrls = {L"http://x/"};
    fake.historyChildren = {"one", "two", "three"};
    fake.protectedItems = {{kAutoCompleteType, kSubtype, L"field:StringData"},
                           {kAutoCompleteType, kSubtype, L"field:StringIndex"},
                           {kAutoCompleteType, kSubtype, L"https://x/:StringData"},
                           {kOtherType, kSubtype, L"other"}};
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kRecentListKeys[0]);
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kRecentListKeys[2]));
        key.SetString("a", "notepad");
        key.SetString("b", "calc");
        key.SetString("MRUList", "ab");
    }

    tPreview all = CollectPreview(tCleanOptions());
    EXPECT_EQ(2u, all.cache.cookies);
    EXPECT_EQ(500u, all.cache.cookieBytes);
    EXPECT_EQ(1u, all.cache.others);
    EXPECT_EQ(5000u, all.cache.otherBytes);
    EXPECT_TRUE(all.historyStoreListed);
    EXPECT_EQ(1u, all.historyStoreEntries);
    EXPECT_EQ(3u, all.historyFolderItems);
    EXPECT_FALSE(all.keyPresent[0]);
    EXPECT_TRUE(all.keyPresent[2]);
    EXPECT_EQ(3u, all.keyEntries[2]);
    EXPECT_TRUE(all.protectedStorageListed);
    EXPECT_EQ(1u, all.formDataItems);
    EXPECT_EQ(1u, all.passwordItems) << "what the form data pass leaves to the password pass";

    tCleanOptions passwords = NoOptions();
    passwords.passwords = true;
    tPreview some = CollectPreview(passwords);
    EXPECT_EQ(2u, some.passwordItems);
    EXPECT_EQ(0u, some.cache.cookies) << "unticked parts are not counted";
    EXPECT_EQ(0u, some.historyFolderItems);
    EXPECT_FALSE(some.keyPresent[2]);

    EXPECT_TRUE(fake.events.empty());
    EXPECT_EQ(4u, fake.cache.size() - fake.cacheDeleted.size());
    EXPECT_TRUE(CRegistryKey::Exists(HKEY_CURRENT_USER, kRecentListKeys[2]));
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kRecentListKeys[2]);

    fake.pstorecPresent = false;
    fake.historyStorePresent = false;
    tPreview bare = CollectPreview(tCleanOptions());
    EXPECT_FALSE(bare.protectedStorageListed);
    EXPECT_FALSE(bare.historyStoreListed);
    tPreviewRows rows = FormatPreview(bare, GetModuleHandleA(nullptr));
    ASSERT_EQ(11u, rows.size()) << "cookies, files, 2 history, documents, 4 keys, form data, passwords";
    EXPECT_EQ("cannot be listed on this system", rows[2].second);
    EXPECT_EQ("none", rows[5].second);
    EXPECT_EQ("Nothing is ticked.", FormatPreview(CollectPreview(NoOptions()), GetModuleHandleA(nullptr))[0].first);
}
