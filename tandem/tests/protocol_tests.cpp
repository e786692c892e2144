#include <gtest/gtest.h>

#include <algorithm>
#include <list>

#include "tandem/job_policy.h"
#include "tandem/protocol.h"
#include "tandem/tests/hostile_paths.h"

namespace {

std::vector<ShareItem> Parse(const std::string& text, tListingParse* full = nullptr)
{
    tListingParse listing;
    ParseListing(text, listing);
    if (full)
        *full = listing;
    return listing.items;
}

} // namespace

TEST(RequestTable, ClassifiesEveryCommandOfTheProtocol)
{
    struct {
        const char* payload;
        int type;
        bool quick;
        const char* argument;
    } cases[] = {
        {"ping", SERVER_JOB_PING, true, ""},
        {"pingpong", SERVER_JOB_PING, true, ""}, // only the beginning counts
        {"ping:anything", SERVER_JOB_PING, true, "anything"},
        {"expand:\\music\\live\\", SERVER_JOB_EXPAND, true, "\\music\\live\\"},
        {"expand:\\", SERVER_JOB_EXPAND, true, "\\"},
        {"expand", SERVER_JOB_EXPAND, true, ""},
        {"retrieve:\\music\\a.mp3", SERVER_JOB_RETRIEVE, false, "\\music\\a.mp3"},
        {"retrieve:\\a:b", SERVER_JOB_RETRIEVE, false, "\\a:b"}, // split at the first colon only
        {"gethostinfo", SERVER_JOB_HOSTINFO, true, ""},
        {"gethostinfo:x", SERVER_JOB_HOSTINFO, true, "x"},
        {"gethostinfoex", SERVER_JOB_HOSTINFO_OS, true, ""},
        {"gethostinfoanything", SERVER_JOB_HOSTINFO_OS, true, ""},
    };
    for (const auto& c : cases) {
        tRequest request = ParseRequest(c.payload);
        EXPECT_EQ(c.type, request.type) << c.payload;
        EXPECT_EQ(c.quick, request.quick) << c.payload;
        EXPECT_EQ(c.argument, request.argument) << c.payload;
    }
}

TEST(RequestTable, AnythingElseIsUnknownAndNoQuickJob)
{
    for (const char* payload : {"", "pin", "Ping", "expandx:\\", "Expand:\\", "retrieved:\\a", "retrieve x",
                                "gethost", ":ping", "expand\\:x"}) {
        tRequest request = ParseRequest(payload);
        EXPECT_EQ(SERVER_JOB_UNKNOWN, request.type) << payload;
        EXPECT_FALSE(request.quick) << payload;
    }
}

TEST(RequestTable, TheClientBuildsWhatTheServerClassifies)
{
    EXPECT_EQ(SERVER_JOB_EXPAND, ParseRequest(BuildExpandRequest("\\docs\\")).type);
    EXPECT_EQ("\\docs\\a b.txt", ParseRequest(BuildRetrieveRequest("\\docs\\a b.txt")).argument);
    EXPECT_EQ(SERVER_JOB_HOSTINFO, ParseRequest(BuildHostInfoRequest(false)).type);
    EXPECT_EQ(SERVER_JOB_HOSTINFO_OS, ParseRequest(BuildHostInfoRequest(true)).type);
    EXPECT_EQ("gethostinfoex", BuildHostInfoRequest(true));
}

namespace {

// Feeds the bytes as the server does: as many as the reader wants, in pieces of at most step.
bool Feed(CRequestReader& reader, const std::string& bytes, size_t step, size_t* used = nullptr)
{
    size_t at = 0;
    while (size_t wanted = reader.Wanted()) {
        if (at == bytes.size())
            break;
        size_t piece = std::min(std::min(wanted, step), bytes.size() - at);
        if (!reader.Take(bytes.data() + at, piece))
            return false;
        at += piece;
    }
    if (used)
        *used = at;
    return true;
}

} // namespace

TEST(RequestReader, TakesExactlyOneMessageWhateverThePieces)
{
    for (size_t step : {1u, 3u, 4096u}) {
        CRequestReader reader(1024);
        size_t used = 0;
        ASSERT_TRUE(Feed(reader, "4:ping4:ping", step, &used)) << step;
        EXPECT_TRUE(reader.Complete());
        EXPECT_EQ("ping", reader.Payload());
        EXPECT_EQ(6u, used) << "the second ping is left for the job";
        EXPECT_EQ(0u, reader.Wanted());
    }
    CRequestReader empty(1024);
    ASSERT_TRUE(Feed(empty, "0:", 1));
    EXPECT_TRUE(empty.Complete());
    EXPECT_EQ("", empty.Payload());
}

TEST(RequestReader, APeekingReaderTakesAMessageInOneGo)
{
    CRequestReader reader(1024);
    std::string waiting = "10:expand:\\a\\4:ping";
    size_t span = reader.Span(waiting.data(), waiting.size());
    EXPECT_EQ(13u, span) << "the request, not the ping behind it";
    ASSERT_TRUE(reader.Take(waiting.data(), span));
    EXPECT_TRUE(reader.Complete());
    EXPECT_EQ("expand:\\a\\", reader.Payload());
    EXPECT_EQ(0u, reader.Span(waiting.data() + span, waiting.size() - span));

    CRequestReader split(1024);
    EXPECT_EQ(2u, split.Span("10", 2)) << "a header without its colon yet";
    ASSERT_TRUE(split.Take("10", 2));
    EXPECT_EQ(5u, split.Span(":expa", 5));
    ASSERT_TRUE(split.Take(":expa", 5));
    EXPECT_EQ(6u, split.Span("nd:\\a\\more", 10)) << "the rest of the payload only";
    CRequestReader refused(4);
    EXPECT_EQ(3u, refused.Span("10:abcdefghij", 13)) << "up to the colon of a length beyond the limit";
    EXPECT_FALSE(refused.Take("10:", 3));
    CRequestReader overlong(1024);
    EXPECT_FALSE(overlong.Take("3:abcd", 6)) << "bytes beyond the message are not taken";
}

TEST(RequestReader, RefusesLengthsBeyondTheLimitAndBrokenHeaders)
{
    for (const std::string& bytes : {std::string("1025:x"), std::string(63, '9') + ":",
                                     std::string(64, '1'), std::string("-1:"), std::string(":"),
                                     std::string("1 :x"), std::string("0x10:")}) {
        CRequestReader reader(1024);
        EXPECT_FALSE(Feed(reader, bytes, 1)) << bytes;
        EXPECT_FALSE(reader.Complete());
        EXPECT_EQ(0u, reader.Wanted()) << "nothing more is taken";
    }
    CRequestReader longest(1024);
    EXPECT_TRUE(Feed(longest, std::string(62, '0') + "1:x", 1)) << "a length text of 63 digits is read";
    EXPECT_TRUE(longest.Complete());
}

TEST(RequestReader, ARequestInProgressWantsTheRest)
{
    CRequestReader reader(1024);
    ASSERT_TRUE(Feed(reader, "10:expa", 1000));
    EXPECT_FALSE(reader.Complete());
    EXPECT_EQ(6u, reader.Wanted());
    EXPECT_FALSE(reader.Take("123456789", 9)) << "more than wanted";
}

TEST(Listing, IsBuiltAsNameFolderSizeTriples)
{
    std::vector<ShareItem> shares = {{"music", 0, true}, {"video", 0, true}};
    EXPECT_EQ("music\\1\\0\\video\\1\\0", BuildListing(shares));
    std::vector<ShareItem> mixed = {{"live", 77, true}, {"a b.mp3", 5000000000ULL, false}, {"empty", 0, false}};
    // A folder's size is always written as 0.
    EXPECT_EQ("live\\1\\0\\a b.mp3\\0\\5000000000\\empty\\0\\0", BuildListing(mixed));
    EXPECT_EQ("", BuildListing({}));
}

TEST(Listing, ParsesWhatWasBuiltIncludingBlanksAndLargeSizes)
{
    std::vector<ShareItem> items = {{"My Music", 0, true}, {" lead and trail blanks.txt", 12, false},
                                    {"big.iso", 18446744073709551615ULL, false}};
    std::vector<ShareItem> parsed = Parse(BuildListing(items));
    ASSERT_EQ(3u, parsed.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i].name, parsed[i].name);
        EXPECT_EQ(items[i].isFolder, parsed[i].isFolder);
        EXPECT_EQ(items[i].size, parsed[i].size);
    }
}

TEST(Listing, EmptyTextIsAnEmptyListing)
{
    tListingParse listing;
    EXPECT_TRUE(Parse("", &listing).empty());
    EXPECT_TRUE(listing.refused.empty());
}

TEST(Listing, DotEntriesAreDroppedSilently)
{
    tListingParse listing;
    std::vector<ShareItem> items = Parse(".\\1\\0\\..\\1\\0\\a\\0\\3", &listing);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ("a", items[0].name);
    EXPECT_TRUE(listing.refused.empty());
}

TEST(Listing, NamesThatCouldLeaveTheTargetFolderAreRefused)
{
    tListingParse listing;
    std::string text = "ok.txt\\0\\1";
    for (const char* bad : {"a/b", "C:x", "...", "x.", "x ", "con", "a\x05", "a\tb"})
        AppendListingEntry(text, bad, false, 1);
    std::vector<ShareItem> items = Parse(text, &listing);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ("ok.txt", items[0].name);
    EXPECT_EQ(8u, listing.refused.size());
}

TEST(Listing, ShortAndOddEntriesReadAsFarAsTheyGo)
{
    std::vector<ShareItem> items = Parse("a\\1");
    ASSERT_EQ(1u, items.size());
    EXPECT_TRUE(items[0].isFolder);
    items = Parse("b");
    ASSERT_EQ(1u, items.size());
    EXPECT_FALSE(items[0].isFolder);
    EXPECT_EQ(0u, items[0].size);
    // Anything but "1" is a file; digits are read up to the first non-digit; too large saturates.
    items = Parse("c\\yes\\12kB\\d\\0\\99999999999999999999999");
    ASSERT_EQ(2u, items.size());
    EXPECT_FALSE(items[0].isFolder);
    EXPECT_EQ(12u, items[0].size);
    EXPECT_EQ(18446744073709551615ULL, items[1].size);
    // A folder's size is 0 whatever the peer claims.
    items = Parse("e\\1\\500");
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(0u, items[0].size);
}

TEST(Listing, StopsTakingEntriesAtTheLimit)
{
    std::string text;
    for (size_t i = 0; i < kListingEntryLimit + 3; ++i)
        AppendListingEntry(text, "f" + std::to_string(i), false, i);
    tListingParse listing;
    ParseListing(text, listing);
    EXPECT_EQ(kListingEntryLimit, listing.items.size());
    EXPECT_EQ(3u, listing.excess);
}

TEST(Names, OrdinaryNamesAreSafe)
{
    for (const char* name : {"a", "a.txt", ".hidden", "a..b", "...a", "console.log", "nul1", "COM10", "LPT",
                             "My Documents", " lead", "\xE9t\xE9", "x-y_z (1).tar.gz"})
        EXPECT_TRUE(IsSafeEntryName(name)) << name;
    EXPECT_TRUE(IsSafeEntryName(std::string(kNameLengthLimit, 'n')));
    EXPECT_FALSE(IsSafeEntryName(std::string(kNameLengthLimit + 1, 'n')));
}

TEST(SharePaths, AtLeastFiftyHostilePathsAreAllRefused)
{
    std::vector<std::string> hostile = HostileSharePaths();
    EXPECT_GE(hostile.size(), 50u);
    for (const std::string& path : hostile) {
        std::string share = "unchanged", rest = "unchanged";
        EXPECT_FALSE(SplitSharePath(path, share, rest)) << path;
        EXPECT_TRUE(share.empty() && rest.empty()) << path;
    }
}

TEST(SharePaths, OrdinaryPathsSplitIntoShareAndRest)
{
    for (const std::string& path : OrdinarySharePaths()) {
        std::string share, rest;
        EXPECT_TRUE(SplitSharePath(path, share, rest)) << path;
        EXPECT_EQ("docs", share) << path;
    }
    std::string share, rest;
    ASSERT_TRUE(SplitSharePath("\\My Music\\live\\a b.mp3", share, rest));
    EXPECT_EQ("My Music", share);
    EXPECT_EQ("\\live\\a b.mp3", rest);
    ASSERT_TRUE(SplitSharePath("\\docs", share, rest));
    EXPECT_EQ("", rest);
    EXPECT_FALSE(SplitSharePath("\\", share, rest)) << "the root names no share";
}

TEST(LocalPaths, JoinOnlyPlainRelativeParts)
{
    std::string out;
    ASSERT_TRUE(JoinLocalPath("C:\\dl", "folder\\sub\\a.txt", out));
    EXPECT_EQ("C:\\dl\\folder\\sub\\a.txt", out);
    ASSERT_TRUE(JoinLocalPath("C:\\dl\\", "a.txt", out));
    EXPECT_EQ("C:\\dl\\a.txt", out);
    for (const char* relative : {"", "\\a", "..\\x", "a\\..\\..\\x", "C:x", "a/b", "a\\\\b", "x.\\y", "nul\\a",
                                 "a:b"}) {
        EXPECT_FALSE(JoinLocalPath("C:\\dl", relative, out)) << relative;
        EXPECT_TRUE(out.empty());
    }
}

TEST(HostInfo, ReplyHasTwoLinesAndTheVersionEndsInABlank)
{
    std::string version = FormatVersionText(1, 0, 9, 5, 3, 7, 2, 2026);
    EXPECT_EQ("1.0 09:05:03 07.02.26 ", version);
    EXPECT_EQ("pc\n1.0 09:05:03 07.02.26 \n", BuildHostInfoReply("pc", version, false, "ignored"));
    EXPECT_EQ("pc\n1.0 09:05:03 07.02.26 WinNT.6.1.7601#Service_Pack_1 \n",
              BuildHostInfoReply("pc", version, true, "WinNT.6.1.7601#Service_Pack_1"));
}

TEST(HostInfo, ParsedIntoNameVersionTimeDateAndOs)
{
    HostInfo info;
    ParseHostInfoReply("desk top\n1.0 09:05:03 07.02.26 WinNT.6.1 \n", true, info);
    EXPECT_EQ("desk top", info.name);
    EXPECT_EQ("1.0", info.version);
    EXPECT_EQ("09:05:03", info.buildTime);
    EXPECT_EQ("07.02.26", info.buildDate);
    EXPECT_EQ("WinNT.6.1", info.os);
    // Not asked for the operating system: the fourth token is not taken.
    ParseHostInfoReply("pc\n1.0 09:05:03 07.02.26 WinNT.6.1 \n", false, info);
    EXPECT_EQ("", info.os);
    EXPECT_EQ("07.02.26", info.buildDate);
}

TEST(HostInfo, IncompleteOrOversizedRepliesKeepWhatIsThere)
{
    HostInfo info;
    ParseHostInfoReply("no newline", false, info);
    EXPECT_EQ("", info.name);
    ParseHostInfoReply("only\n1.0", false, info);
    EXPECT_EQ("only", info.name);
    EXPECT_EQ("", info.version);
    ParseHostInfoReply("pc\n1.0\n", true, info);
    EXPECT_EQ("1.0", info.version);
    EXPECT_EQ("", info.buildTime);
    ParseHostInfoReply(std::string(10000, 'x') + "\n" + std::string(10000, 'v') + " t d\n", false, info);
    EXPECT_EQ(kHostInfoFieldLimit, info.name.size());
    EXPECT_EQ(kHostInfoFieldLimit, info.version.size());
    EXPECT_EQ("t", info.buildTime);
}

TEST(Addresses, AreShownAsDottedQuads)
{
    EXPECT_EQ("127.0.0.1", FormatAddress(0x0100007F));
    EXPECT_EQ("198.18.1.254", FormatAddress(0xFE0112C6));
}

TEST(JobPolicy, TheTwentyFirstQuickJobWaitsOnTheServer)
{
    std::list<bool> waiting = {true};
    auto isQuick = [](bool quick) { return quick; };
    tJobLimits limits{20, 10};
    tJobCounts running;
    running.quick = 19;
    EXPECT_TRUE(PickServerJob(waiting, isQuick, running, limits) == waiting.begin());
    running.quick = 20;
    EXPECT_TRUE(PickServerJob(waiting, isQuick, running, limits) == waiting.end());
}

TEST(JobPolicy, ADownloadWaitsWhileTenRunAndDoesNotBlockQuickJobs)
{
    std::list<bool> waiting = {false, false, true};
    auto isQuick = [](bool quick) { return quick; };
    tJobLimits limits{20, 10};
    tJobCounts running;
    running.downloads = 10;
    auto picked = PickServerJob(waiting, isQuick, running, limits);
    ASSERT_TRUE(picked != waiting.end());
    EXPECT_TRUE(*picked) << "the quick job behind two downloads starts";
    waiting.erase(picked);
    EXPECT_TRUE(PickServerJob(waiting, isQuick, running, limits) == waiting.end()) << "downloads wait";
    running.downloads = 9;
    EXPECT_TRUE(PickServerJob(waiting, isQuick, running, limits) == waiting.begin()) << "the oldest download";
}

TEST(JobPolicy, TheClientTakesTheNewestListingFirstAndDownloadsInOrder)
{
    tJobLimits limits{10, 5};
    tJobCounts running;
    EXPECT_EQ(CLIENT_PICK_NEWEST_QUICK, PickClientJob(3, 3, running, limits));
    running.quick = 10;
    EXPECT_EQ(CLIENT_PICK_OLDEST_DOWNLOAD, PickClientJob(3, 3, running, limits));
    running.downloads = 5;
    EXPECT_EQ(CLIENT_PICK_NONE, PickClientJob(3, 3, running, limits));
    running.quick = 0;
    EXPECT_EQ(CLIENT_PICK_NONE, PickClientJob(0, 3, running, limits));
}
