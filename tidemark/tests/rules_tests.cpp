#include <gtest/gtest.h>

#include "tidemark/progress_model.h"
#include "tidemark/res/resource.h"
#include "tidemark/rules.h"

namespace {

const uint32_t kAutoComplete = 0xE161255A;

tCleanOptions Only(bool tCleanOptions::*flag)
{
    tCleanOptions options;
    options.cookies = options.tempFiles = options.history = false;
    options.recentLists = options.formData = options.passwords = false;
    options.*flag = true;
    return options;
}

} // namespace

TEST(ProtectedStorageRules, WebAddressesAreKeptForFormDataAndGoWithPasswords)
{
    const std::wstring web = L"http://www.example.com/login:StringData";
    const std::wstring secure = L"https://bank.example/:StringData";
    const std::wstring field = L"username:StringData";
    EXPECT_FALSE(ShouldDeleteProtectedItem(kFormDataMode, kAutoComplete, web));
    EXPECT_FALSE(ShouldDeleteProtectedItem(kFormDataMode, kAutoComplete, secure));
    EXPECT_TRUE(ShouldDeleteProtectedItem(kFormDataMode, kAutoComplete, field));
    EXPECT_TRUE(ShouldDeleteProtectedItem(kPasswordMode, kAutoComplete, web));
    EXPECT_TRUE(ShouldDeleteProtectedItem(kPasswordMode, kAutoComplete, secure));
    EXPECT_TRUE(ShouldDeleteProtectedItem(kPasswordMode, kAutoComplete, field));
}

TEST(ProtectedStorageRules, OnlyAutoCompleteItemsAndNeverTheirIndex)
{
    for (int mode : {kFormDataMode, kPasswordMode}) {
        EXPECT_FALSE(ShouldDeleteProtectedItem(mode, 0xE161255B, L"username:StringData"));
        EXPECT_FALSE(ShouldDeleteProtectedItem(mode, 0x0E161255, L"username:StringData"));
        EXPECT_FALSE(ShouldDeleteProtectedItem(mode, kAutoComplete, L"username:StringIndex"));
        EXPECT_FALSE(ShouldDeleteProtectedItem(mode, kAutoComplete, L"http://x/:StringIndex"));
    }
    EXPECT_FALSE(ShouldDeleteProtectedItem(0, kAutoComplete, L"username:StringData"));
}

TEST(ProtectedStorageRules, WebAddressIsTheNameBeforeItsStringSuffix)
{
    EXPECT_TRUE(IsWebAddressItem(L"http:/"));
    EXPECT_TRUE(IsWebAddressItem(L"HTTPS://Example/:StringData"));
    EXPECT_FALSE(IsWebAddressItem(L"http:"));
    EXPECT_FALSE(IsWebAddressItem(L"http:String/"));
    EXPECT_FALSE(IsWebAddressItem(L"ftp://example/"));
    EXPECT_FALSE(IsWebAddressItem(L" http://example/"));
    EXPECT_FALSE(IsWebAddressItem(L""));
    // an address only after the cut does not count
    EXPECT_FALSE(IsWebAddressItem(L"q:Stringhttp://example/"));
}

TEST(CacheRules, HistoryEntriesAlwaysStayOthersGoByTheirOption)
{
    EXPECT_EQ(eCacheKind::History, ClassifyCacheEntry(0x200001));
    EXPECT_EQ(eCacheKind::History, ClassifyCacheEntry(0x300000)) << "history wins over cookie";
    EXPECT_EQ(eCacheKind::Cookie, ClassifyCacheEntry(0x100001));
    EXPECT_EQ(eCacheKind::Other, ClassifyCacheEntry(0x1));
    EXPECT_EQ(eCacheKind::Other, ClassifyCacheEntry(0x400001));

    tCleanOptions all;
    EXPECT_FALSE(ShouldDeleteCacheEntry(eCacheKind::History, all));
    EXPECT_TRUE(ShouldDeleteCacheEntry(eCacheKind::Cookie, Only(&tCleanOptions::cookies)));
    EXPECT_FALSE(ShouldDeleteCacheEntry(eCacheKind::Other, Only(&tCleanOptions::cookies)));
    EXPECT_TRUE(ShouldDeleteCacheEntry(eCacheKind::Other, Only(&tCleanOptions::tempFiles)));
    EXPECT_FALSE(ShouldDeleteCacheEntry(eCacheKind::Cookie, Only(&tCleanOptions::tempFiles)));
}

TEST(Weights, RangeIsTheSumOfTheTickedOptions)
{
    tCacheCounts counts;
    counts.cookies = 10;
    counts.others = 50;
    counts.history = 7;
    EXPECT_EQ(800u, TotalWeight(Only(&tCleanOptions::recentLists), counts));
    EXPECT_EQ(10u, TotalWeight(Only(&tCleanOptions::cookies), counts));
    EXPECT_EQ(50u, TotalWeight(Only(&tCleanOptions::tempFiles), counts));
    EXPECT_EQ(200u, TotalWeight(Only(&tCleanOptions::history), counts));
    EXPECT_EQ(100u, TotalWeight(Only(&tCleanOptions::formData), counts));
    EXPECT_EQ(100u, TotalWeight(Only(&tCleanOptions::passwords), counts));
    EXPECT_EQ(60u + 200 + 800 + 100 + 100, TotalWeight(tCleanOptions(), counts));
    tCleanOptions none = Only(&tCleanOptions::cookies);
    none.cookies = false;
    EXPECT_EQ(0u, TotalWeight(none, counts));
}

TEST(Weights, CountingSortsEntriesAndSizesByKind)
{
    tCacheCounts counts;
    CountCacheEntry(counts, 0x100000, 300);
    CountCacheEntry(counts, 0x200001, 1000);
    CountCacheEntry(counts, 0x1, 4096);
    CountCacheEntry(counts, 0x1, 0xFFFFFFFFull);
    EXPECT_EQ(1u, counts.cookies);
    EXPECT_EQ(1u, counts.history);
    EXPECT_EQ(2u, counts.others);
    EXPECT_EQ(300u, counts.cookieBytes);
    EXPECT_EQ(4096u + 0xFFFFFFFFull, counts.otherBytes);
}

TEST(HistoryShares, ItemsShareAHundredExactly)
{
    EXPECT_EQ(33u, HistoryItemShare(1, 3));
    EXPECT_EQ(33u, HistoryItemShare(2, 3));
    EXPECT_EQ(34u, HistoryItemShare(3, 3));
    EXPECT_EQ(100u, HistoryItemShare(1, 1));
    for (unsigned total : {1u, 2u, 3u, 7u, 99u, 100u, 101u, 250u, 100000u}) {
        unsigned sum = 0;
        for (unsigned n = 1; n <= total; ++n)
            sum += HistoryItemShare(n, total);
        EXPECT_EQ(100u, sum) << total << " items";
    }
    // many items: most add nothing, none adds more than one unit
    EXPECT_EQ(0u, HistoryItemShare(1, 1000));
    EXPECT_EQ(1u, HistoryItemShare(10, 1000));
    EXPECT_EQ(0u, HistoryItemShare(4, 3)) << "an item beyond the count adds nothing";
    EXPECT_EQ(0u, HistoryItemShare(0, 3));
    EXPECT_EQ(0u, HistoryItemShare(1, 0));
}

TEST(ProgressModel, PhaseCallsShowTheTextFirstThenAddTheWeight)
{
    CProgressModel model;
    model.Start(500);
    tProgressStep step = model.OnPhase(kPhaseFormData);
    EXPECT_EQ(static_cast<unsigned>(IDS_DELETING_FORM_DATA), step.textId);
    EXPECT_EQ(0u, step.advance);
    step = model.OnPhase(kPhaseFormData);
    EXPECT_EQ(0u, step.textId);
    EXPECT_EQ(100u, step.advance);
    EXPECT_EQ(static_cast<unsigned>(IDS_DELETING_PASSWORDS), model.OnPhase(kPhasePasswords).textId);
    EXPECT_EQ(static_cast<unsigned>(IDS_DELETING_HISTORY), model.OnPhase(kPhaseHistory).textId);
    EXPECT_EQ(static_cast<unsigned>(IDS_DELETING_LISTS), model.OnPhase(kPhaseRecentLists).textId);
    EXPECT_EQ(200u, model.OnPhase(kPhaseRecentLists).advance);
    EXPECT_EQ(300u, model.Position());
    EXPECT_EQ(500u, model.Range());
    model.Start(10);
    EXPECT_EQ(0u, model.Position()) << "a new run starts from nothing";
    EXPECT_EQ(static_cast<unsigned>(IDS_DELETING_LISTS), model.OnPhase(kPhaseRecentLists).textId);
}

TEST(ProgressModel, HistoryFolderAddsAHundredWhetherEmptyOrFull)
{
    CProgressModel model;
    model.Start(200);
    EXPECT_EQ(100u, model.OnHistoryRange(0).advance) << "an empty entry adds 100 at once";
    EXPECT_EQ(100u, model.Position());

    model.Start(200);
    EXPECT_EQ(0u, model.OnHistoryRange(3).advance);
    EXPECT_EQ(33u, model.OnHistoryItem().advance);
    EXPECT_EQ(33u, model.OnHistoryItem().advance);
    EXPECT_EQ(34u, model.OnHistoryItem().advance);
    EXPECT_EQ(0u, model.OnHistoryItem().advance) << "an item that appeared later";
    EXPECT_EQ(100u, model.Position());
    EXPECT_EQ(1u, model.OnCacheUrl().advance);
}
