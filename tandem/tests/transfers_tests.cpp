// The transfer bookkeeping against a recording request client and transfer view: folder
// downloads (listings asked for and taken, files found and started one by one, where files
// go), single downloads, uploads, cancelling, the removal countdown and the close question.
#include <gtest/gtest.h>

#include <map>

#include "common/tests/test_support.h"
#include "tandem/transfers.h"

namespace {

const uint32_t kHost = 0x0205A8C0;
const uint32_t kOther = 0x0305A8C0;

class CFakeRequests : public ITransferRequests {
public:
    struct tCall {
        std::string what; // expand, retrieve, resume
        uint32_t host;
        std::string remote;
        std::string local;
        int64_t offset;
        tCancelHandle cancel;
        int id;
    };
    int Expand(uint32_t host, const std::string& path, tCancelHandle cancel) override
    {
        return Add({"expand", host, path, "", 0, cancel, 0});
    }
    int Retrieve(uint32_t host, const std::string& remote, const std::string& local, tCancelHandle cancel) override
    {
        return Add({"retrieve", host, remote, local, 0, cancel, 0});
    }
    int RetrieveFrom(uint32_t host, const std::string& remote, const std::string& local, int64_t offset,
                     tCancelHandle cancel) override
    {
        return Add({"resume", host, remote, local, offset, cancel, 0});
    }
    std::vector<tCall> Of(const std::string& what) const
    {
        std::vector<tCall> found;
        for (const tCall& call : calls)
            if (call.what == what)
                found.push_back(call);
        return found;
    }
    std::vector<tCall> calls;

private:
    int Add(tCall call)
    {
        call.id = m_next++;
        calls.push_back(call);
        return call.id;
    }
    int m_next = 0x40000000;
};

class CFakeView : public ITransferView {
public:
    struct tRow {
        std::string name, status, host;
    };
    void AddRow(int key, const std::string& name, const std::string& status, const std::string& host) override
    {
        order.push_back(key);
        rows[key] = {name, status, host};
    }
    void SetRowStatus(int key, const std::string& status) override { rows.at(key).status = status; }
    void RemoveRow(int key) override
    {
        rows.erase(key);
        order.erase(std::find(order.begin(), order.end(), key));
    }
    void Signal(int event) override { sounds.push_back(event); }
    std::string Status(size_t index) const { return rows.at(order.at(index)).status; }

    std::map<int, tRow> rows;
    std::vector<int> order;
    std::vector<int> sounds;
};

tTransferTexts EnglishTexts()
{
    static const std::map<unsigned, std::string> texts = {
        {IDS_TRANSFER_WAIT, "Wait"},
        {IDS_TRANSFER_RECEIVE, "Receive %u%% (%s KB/s)"},
        {IDS_TRANSFER_SEND, "Send %u%% (%s KB/s)"},
        {IDS_TRANSFER_CANCELLED, "Cancelled"},
        {IDS_TRANSFER_FAILED, "Failed"},
        {IDS_TRANSFER_FINISHED, "Finished"},
        {IDS_TRANSFER_RECEIVE_FOLDER, "Receive (%i/%i) %u%% (%s KB/s)"},
    };
    tTransferTexts out;
    out.load = [](unsigned id) { return texts.at(id); };
    out.formatRate = [](double rate) {
        char text[32];
        snprintf(text, sizeof text, "%.1f", rate);
        return std::string(text);
    };
    return out;
}

ShareItem File(const std::string& name, uint64_t size = 10)
{
    ShareItem item;
    item.name = name;
    item.size = size;
    return item;
}

ShareItem Folder(const std::string& name)
{
    ShareItem item;
    item.name = name;
    item.isFolder = true;
    return item;
}

class TransfersTest : public ::testing::Test {
protected:
    CFakeRequests requests;
    CFakeView view;
    CTransfers transfers{requests, view, EnglishTexts()};

    int FolderRow() const { return view.order.front(); }
    const CTransfers::tFolderDownload* Record() const { return transfers.FindFolder(FolderRow()); }
};

TEST_F(TransfersTest, FolderDownloadListsEveryFolderAndFetchesFilesOneAfterAnother)
{
    transfers.StartFolderDownload(kHost, "desk", "\\music\\live\\", "C:\\got\\");
    ASSERT_EQ(requests.calls.size(), 1u);
    EXPECT_EQ(requests.calls[0].what, "expand");
    EXPECT_EQ(requests.calls[0].remote, "\\music\\live");
    EXPECT_EQ(view.rows.at(FolderRow()).name, "live");
    EXPECT_EQ(view.rows.at(FolderRow()).status, "Wait");
    EXPECT_EQ(view.rows.at(FolderRow()).host, "desk");
    EXPECT_EQ(Record()->pendingListings.size(), 1u);

    transfers.ListingArrived(kHost, "\\music\\live\\", {File("a.mp3"), Folder("cd2"), File("b.mp3"), File("c.mp3")});
    // The subfolder is listed; the first file is on its way, the others wait.
    auto expands = requests.Of("expand");
    ASSERT_EQ(expands.size(), 2u);
    EXPECT_EQ(expands[1].remote, "\\music\\live\\cd2\\");
    EXPECT_EQ(expands[1].cancel, expands[0].cancel) << "one cancel flag for the whole folder download";
    auto files = requests.Of("retrieve");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].remote, "\\music\\live\\a.mp3");
    EXPECT_EQ(files[0].local, "C:\\got\\live\\a.mp3");
    EXPECT_EQ(Record()->filesFound, 3);
    EXPECT_EQ(Record()->filesStarted, 1);
    EXPECT_EQ(Record()->pendingListings.size(), 1u);

    transfers.DownloadProgress(files[0].id, 40, 12.5);
    EXPECT_EQ(view.rows.at(FolderRow()).status, "Receive (1/3) 40% (12.5 KB/s)");

    // The subfolder's listing raises the number of files found while the first one runs.
    transfers.ListingArrived(kHost, "\\music\\live\\cd2\\", {File("d.mp3")});
    EXPECT_EQ(Record()->filesFound, 4);
    EXPECT_EQ(requests.Of("retrieve").size(), 1u) << "files of one folder download go one at a time";
    transfers.DownloadProgress(files[0].id, 90, 1.0);
    EXPECT_EQ(view.rows.at(FolderRow()).status, "Receive (1/4) 90% (1.0 KB/s)");

    for (int i = 0; i < 4; ++i) {
        auto started = requests.Of("retrieve");
        ASSERT_EQ(started.size(), static_cast<size_t>(i + 1));
        transfers.DownloadFinished(started.back().id, true);
    }
    auto all = requests.Of("retrieve");
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3].local, "C:\\got\\live\\cd2\\d.mp3");
    EXPECT_EQ(view.rows.at(FolderRow()).status, "Finished");
    EXPECT_TRUE(transfers.IsRowFinished(FolderRow()));
    EXPECT_EQ(transfers.ActiveFolderDownloads(), 0u);
    EXPECT_FALSE(transfers.HasActiveTransfers());
    EXPECT_EQ(view.sounds, std::vector<int>{SOUND_TRANSFER_FINISHED});
}

TEST_F(TransfersTest, EmptyFolderFinishesWhenItsListingArrives)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\empty", "C:\\got");
    transfers.ListingArrived(kHost, "\\docs\\empty\\", {});
    EXPECT_EQ(view.Status(0), "Finished");
    EXPECT_TRUE(requests.Of("retrieve").empty());
    EXPECT_FALSE(transfers.HasActiveTransfers());
}

TEST_F(TransfersTest, FolderWithOnlyEmptySubfoldersFinishesAfterTheLastListing)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\tree", "C:\\got");
    transfers.ListingArrived(kHost, "\\docs\\tree\\", {Folder("a"), Folder("b")});
    EXPECT_EQ(view.Status(0), "Wait");
    transfers.ListingArrived(kHost, "\\docs\\tree\\b\\", {});
    EXPECT_TRUE(transfers.HasActiveTransfers());
    transfers.ListingArrived(kHost, "\\docs\\tree\\a\\", {});
    EXPECT_EQ(view.Status(0), "Finished");
}

TEST_F(TransfersTest, ListingsNobodyAskedForAndOtherHostsCountForNothing)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\tree", "C:\\got");
    // The user's browsing listed a subfolder before the download asked for it; and another
    // host has a folder of the same path.
    transfers.ListingArrived(kHost, "\\docs\\tree\\sub\\", {File("early.txt")});
    transfers.ListingArrived(kOther, "\\docs\\tree\\", {File("x.txt")});
    EXPECT_EQ(Record()->pendingListings.size(), 1u);
    EXPECT_EQ(Record()->filesFound, 0);
    transfers.ListingArrived(kHost, "\\docs\\tree\\", {Folder("sub")});
    transfers.ListingArrived(kHost, "\\docs\\tree\\", {Folder("sub")}); // the same listing twice
    EXPECT_EQ(requests.Of("expand").size(), 2u);
    transfers.ListingArrived(kHost, "\\docs\\tree\\sub\\", {File("late.txt")});
    ASSERT_EQ(requests.Of("retrieve").size(), 1u);
    EXPECT_EQ(requests.Of("retrieve")[0].remote, "\\docs\\tree\\sub\\late.txt");
}

TEST_F(TransfersTest, FailedFileEndsTheFolderDownloadAndStopsTheRest)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\tree", "C:\\got");
    transfers.ListingArrived(kHost, "\\docs\\tree\\", {File("a"), File("b"), Folder("sub")});
    auto first = requests.Of("retrieve")[0];
    transfers.DownloadFinished(first.id, false);
    EXPECT_EQ(view.Status(0), "Failed");
    EXPECT_TRUE(first.cancel->load()) << "its listings and files still under way stop too";
    EXPECT_EQ(requests.Of("retrieve").size(), 1u);
    EXPECT_FALSE(transfers.HasActiveTransfers());
    EXPECT_EQ(view.sounds, std::vector<int>{SOUND_TRANSFER_FAILED});
    // The listing of the subfolder that arrives afterwards changes nothing.
    transfers.ListingArrived(kHost, "\\docs\\tree\\sub\\", {File("c")});
    EXPECT_EQ(requests.Of("retrieve").size(), 1u);
}

TEST_F(TransfersTest, CancelledFolderDownloadReadsCancelled)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\tree", "C:\\got");
    transfers.ListingArrived(kHost, "\\docs\\tree\\", {File("a"), File("b")});
    transfers.Cancel({FolderRow()});
    auto file = requests.Of("retrieve")[0];
    EXPECT_TRUE(file.cancel->load());
    transfers.DownloadFinished(file.id, false);
    EXPECT_EQ(view.Status(0), "Cancelled");
}

TEST_F(TransfersTest, FailedListingEndsTheFolderDownloadInsteadOfWaitingForEver)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\tree", "C:\\got");
    transfers.ListingArrived(kHost, "\\docs\\tree\\", {Folder("sub")});
    transfers.ListingFailed(kHost, "\\docs\\tree\\sub\\");
    EXPECT_EQ(view.Status(0), "Failed");
    EXPECT_FALSE(transfers.HasActiveTransfers());
}

TEST(FolderDownloadTargetTest, FilesGoBelowTheChosenFolderUnderTheFoldersName)
{
    std::string local;
    EXPECT_TRUE(FolderDownloadTarget("\\music\\live", "C:\\got\\", "\\music\\live\\cd 1\\a.mp3", local));
    EXPECT_EQ(local, "C:\\got\\live\\cd 1\\a.mp3");
    EXPECT_TRUE(FolderDownloadTarget("\\music", "C:\\got\\", "\\music\\a.mp3", local));
    EXPECT_EQ(local, "C:\\got\\music\\a.mp3");
    // Paths outside the folder, or parts that would climb out of the target, are refused.
    EXPECT_FALSE(FolderDownloadTarget("\\music\\live", "C:\\got\\", "\\music\\other\\a.mp3", local));
    EXPECT_FALSE(FolderDownloadTarget("\\music\\live", "C:\\got\\", "\\music\\live\\..\\..\\x.exe", local));
    EXPECT_FALSE(FolderDownloadTarget("\\music\\live", "C:\\got\\", "\\music\\live\\C:x", local));
    EXPECT_FALSE(FolderDownloadTarget("\\music\\live", "C:\\got\\", "\\music\\liveX\\a", local));
}

TEST_F(TransfersTest, SingleDownloadShowsProgressAndEnds)
{
    int id = transfers.StartDownload(kHost, "desk", "\\docs\\a.txt", "C:\\got\\a.txt");
    EXPECT_TRUE(transfers.IsDownloading(kHost, "\\docs\\a.txt"));
    EXPECT_FALSE(transfers.IsDownloading(kOther, "\\docs\\a.txt"));
    EXPECT_EQ(view.rows.at(view.order[0]).name, "a.txt");
    transfers.DownloadStarted(id);
    EXPECT_EQ(view.Status(0), "Receive 0% (0.0 KB/s)");
    transfers.DownloadProgress(id, 57, 1234.5);
    EXPECT_EQ(view.Status(0), "Receive 57% (1234.5 KB/s)");
    transfers.DownloadFinished(id, true);
    EXPECT_EQ(view.Status(0), "Finished");
    EXPECT_FALSE(transfers.IsDownloading(kHost, "\\docs\\a.txt"));
    // Events of a job nobody knows change nothing.
    transfers.DownloadFinished(id + 99, false);
    EXPECT_EQ(view.Status(0), "Finished");
}

TEST_F(TransfersTest, ResumedDownloadAsksForTheTail)
{
    transfers.StartDownload(kHost, "desk", "\\docs\\big.bin", "C:\\got\\big.bin", 4096);
    auto resumed = requests.Of("resume");
    ASSERT_EQ(resumed.size(), 1u);
    EXPECT_EQ(resumed[0].offset, 4096);
    EXPECT_TRUE(requests.Of("retrieve").empty());
}

TEST_F(TransfersTest, CancelledAndFailedDownloadsSayWhich)
{
    int cancelled = transfers.StartDownload(kHost, "desk", "\\docs\\a", "C:\\a");
    int failed = transfers.StartDownload(kHost, "desk", "\\docs\\b", "C:\\b");
    transfers.Cancel({view.order[0]});
    EXPECT_TRUE(requests.calls[0].cancel->load());
    EXPECT_FALSE(requests.calls[1].cancel->load());
    transfers.DownloadFinished(cancelled, false);
    transfers.DownloadFinished(failed, false);
    EXPECT_EQ(view.Status(0), "Cancelled");
    EXPECT_EQ(view.Status(1), "Failed");
}

TEST_F(TransfersTest, FolderAlreadyBeingDownloadedIsRecognised)
{
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\tree\\", "C:\\got");
    EXPECT_TRUE(transfers.IsDownloading(kHost, "\\docs\\tree"));
    EXPECT_TRUE(transfers.IsDownloading(kHost, "\\docs\\tree\\"));
    EXPECT_FALSE(transfers.IsDownloading(kHost, "\\docs"));
}

TEST_F(TransfersTest, NoTwoDownloadsWriteOneLocalPath)
{
    int file = transfers.StartDownload(kHost, "desk", "\\docs\\a.txt", "C:\\got\\a.txt");
    transfers.StartFolderDownload(kOther, "laptop", "\\docs\\tree\\", "C:\\got");
    // The same file from another host, in another letter case, and anything in or around the
    // folder being filled are all taken.
    for (const char* path : {"C:\\got\\a.txt", "c:\\GOT\\A.TXT", "C:\\got\\tree", "C:\\got\\tree\\",
                             "C:\\got\\tree\\sub\\b.txt", "C:\\got", "C:\\"})
        EXPECT_TRUE(transfers.IsWritingTo(path)) << path;
    for (const char* path : {"C:\\got\\a.txt2", "C:\\got\\b.txt", "C:\\got\\treehouse", "D:\\got\\a.txt"})
        EXPECT_FALSE(transfers.IsWritingTo(path)) << path;
    transfers.DownloadFinished(file, true);
    EXPECT_FALSE(transfers.IsWritingTo("C:\\got\\a.txt")) << "free again once the download has ended";
}

TEST_F(TransfersTest, UploadHandsBackACancelFlagAndFollowsTheSend)
{
    tCancelHandle cancel = transfers.UploadStarting(7, "\\docs\\a.txt", "laptop");
    ASSERT_TRUE(cancel);
    EXPECT_EQ(view.rows.at(view.order[0]).name, "\\docs\\a.txt");
    EXPECT_EQ(view.rows.at(view.order[0]).host, "laptop");
    transfers.UploadStarted(7);
    transfers.UploadProgress(7, 3, 2.0);
    EXPECT_EQ(view.Status(0), "Send 3% (2.0 KB/s)");
    EXPECT_TRUE(transfers.HasActiveTransfers());
    transfers.Cancel({view.order[0]});
    EXPECT_TRUE(cancel->load());
    transfers.UploadFinished(7, false);
    EXPECT_EQ(view.Status(0), "Cancelled");
    EXPECT_FALSE(transfers.HasActiveTransfers());
}

TEST_F(TransfersTest, FinishedRowsGoAfterFiveTicksOthersStay)
{
    int done = transfers.StartDownload(kHost, "desk", "\\docs\\a", "C:\\a");
    transfers.StartDownload(kHost, "desk", "\\docs\\b", "C:\\b");
    transfers.DownloadFinished(done, true);
    for (int tick = 0; tick < 5; ++tick) {
        transfers.Tick();
        EXPECT_EQ(view.rows.size(), 2u) << "still shown after tick " << tick + 1;
    }
    transfers.Tick();
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(transfers.RowCount(), 1u);
    for (int tick = 0; tick < 10; ++tick)
        transfers.Tick();
    EXPECT_EQ(view.rows.size(), 1u) << "a running transfer's row stays";
}

TEST_F(TransfersTest, CloseQuestionOnlyWhileSomethingTransfers)
{
    EXPECT_FALSE(transfers.HasActiveTransfers());
    int id = transfers.StartDownload(kHost, "desk", "\\docs\\a", "C:\\a");
    EXPECT_TRUE(transfers.HasActiveTransfers());
    transfers.CancelAll();
    EXPECT_TRUE(requests.calls[0].cancel->load());
    transfers.DownloadFinished(id, false);
    EXPECT_FALSE(transfers.HasActiveTransfers());
    transfers.StartFolderDownload(kHost, "desk", "\\docs\\t", "C:\\got");
    EXPECT_TRUE(transfers.HasActiveTransfers());
}

TEST(DownloadTargetTest, TellsWhatIsInTheWay)
{
    testsupport::CTempDir dir;
    uint64_t existing = 0;
    EXPECT_EQ(CheckDownloadTarget(dir.File("none"), false, 100, existing), TARGET_FREE);
    CreateDirectoryA(dir.File("folder").c_str(), nullptr);
    EXPECT_EQ(CheckDownloadTarget(dir.File("folder"), true, 0, existing), TARGET_FOLDER_EXISTS);
    testsupport::WriteFileText(dir.File("part.bin"), std::string(40, 'x'));
    EXPECT_EQ(CheckDownloadTarget(dir.File("part.bin"), false, 100, existing), TARGET_PARTIAL_FILE);
    EXPECT_EQ(existing, 40u);
    EXPECT_EQ(CheckDownloadTarget(dir.File("part.bin"), false, 40, existing), TARGET_FILE_EXISTS);
    EXPECT_EQ(CheckDownloadTarget(dir.File("part.bin"), false, 10, existing), TARGET_FILE_EXISTS);
    // A folder downloaded over a file of its name is an overwrite, never a resume.
    EXPECT_EQ(CheckDownloadTarget(dir.File("part.bin"), true, 0, existing), TARGET_FILE_EXISTS);
}

} // namespace
