#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "plugins/plexa/usage_file.h"

using testsupport::CTempDir;

namespace {

std::string Record(int n)
{
    char line[64];
    snprintf(line, sizeof line, "05.03.2004;14:07:09;record %06d;\r\n", n);
    return line;
}

uint64_t SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Tail(const std::string& path, size_t length)
{
    raii::CHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER back;
    back.QuadPart = -static_cast<LONGLONG>(length);
    std::string text(length, '\0');
    DWORD read = 0;
    if (!file || !SetFilePointerEx(file.Get(), back, nullptr, FILE_END) ||
        !ReadFile(file.Get(), &text[0], static_cast<DWORD>(length), &read, nullptr))
        return std::string();
    text.resize(read);
    return text;
}

// A file of the given size that takes almost no room on disk, its last line ending at its end.
bool MakeSparse(const std::string& path, uint64_t size)
{
    raii::CHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size - 2);
    DWORD written = 0;
    return file && SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) &&
           WriteFile(file.Get(), "\r\n", 2, &written, nullptr) && written == 2;
}

} // namespace

TEST(UsageFile, RecordsAreAppendedAndTheOldestDroppedAtTheCap)
{
    CTempDir dir;
    std::string path = dir.File("condata.csv");
    ASSERT_TRUE(AppendUsageRecord(path, Record(1)));
    ASSERT_TRUE(AppendUsageRecord(path, Record(2)));
    EXPECT_EQ(Record(1) + Record(2), testsupport::ReadFileText(path));

    const uint64_t cap = 1000;
    const size_t line = Record(0).size();
    for (int n = 3; n <= 200; ++n) {
        ASSERT_TRUE(AppendUsageRecord(path, Record(n), cap));
        ASSERT_LE(SizeOf(path), cap) << n;
    }
    std::string text = testsupport::ReadFileText(path);
    ASSERT_EQ(0u, text.size() % line) << "only whole records";
    size_t count = text.size() / line;
    EXPECT_GE(count, 750 / line - 1) << "the cut keeps three quarters of the cap";
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(Record(static_cast<int>(200 - count + 1 + i)), text.substr(i * line, line)) << "the newest, in order";

    EXPECT_FALSE(AppendUsageRecord(path, std::string(2000, 'x'), cap)) << "a record beyond the cap is refused";
    EXPECT_EQ(text, testsupport::ReadFileText(path));
}

TEST(UsageFile, FilesBeyondFourGibibytesGrowAtTheirEnd)
{
    CTempDir dir;
    std::string path = dir.File("condata.csv");
    const uint64_t huge = (5ull << 30) + 3;
    if (!MakeSparse(path, huge))
        GTEST_SKIP() << "this file system takes no file of 5 GiB";
    ASSERT_TRUE(AppendUsageRecord(path, Record(7), 8ull << 30));
    EXPECT_EQ(huge + Record(7).size(), SizeOf(path)) << "appended at the end, not at the low 32 bits";
    EXPECT_EQ(Record(7), Tail(path, Record(7).size()));

    // Under the ordinary cap it shrinks to the newest records, read from its end only.
    ASSERT_TRUE(AppendUsageRecord(path, Record(8)));
    EXPECT_LE(SizeOf(path), kUsageFileCap);
    EXPECT_EQ(Record(7) + Record(8), testsupport::ReadFileText(path));
}

TEST(UsageFile, AFileHeldOpenElsewhereLosesTheRecordOnly)
{
    CTempDir dir;
    std::string path = dir.File("condata.csv");
    ASSERT_TRUE(AppendUsageRecord(path, Record(1)));
    {
        raii::CHandle holder(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        EXPECT_FALSE(AppendUsageRecord(path, Record(2)));
    }
    EXPECT_EQ(Record(1), testsupport::ReadFileText(path));
}
