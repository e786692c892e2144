#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/options.h"
#include "common/raii.h"
#include "common/tests/test_support.h"
#include "common/trace.h"

using testsupport::CTempDir;
using testsupport::ReadFileText;

extern int g_verboseOnEvaluations;
extern int g_verboseOffEvaluations;
void TraceVerboseOn();
void TraceVerboseOff();

namespace {

// Every test starts from the initial configuration and without a DEBUG variable.
class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TraceCloseAll();
        SetEnvironmentVariableA("DEBUG", nullptr);
    }
    void TearDown() override
    {
        TraceCloseAll();
        SetEnvironmentVariableA("DEBUG", nullptr);
    }
};

std::vector<std::string> Items(const char* list)
{
    std::vector<std::string> items;
    for (const char* p = list; p && *p; p += strlen(p) + 1)
        items.push_back(p);
    return items;
}

namespace inner {
struct CThing {
    int m_line = 0;
    void Method()
    {
        m_line = __LINE__ + 1;
        TraceHere("value %d\n", 42);
    }
    ~CThing() { TraceHere("entering\n"); }
};
} // namespace inner

} // namespace

TEST(SplitList, SeparatesAtCommasOutsideQuotes)
{
    const char text[] = "2,stdout,\"c:\\my dir\\a,b.log\",x";
    char* list = SplitList(text, strlen(text));
    EXPECT_EQ((std::vector<std::string>{"2", "stdout", "c:\\my dir\\a,b.log", "x"}), Items(list));
    free(list);
}

TEST(SplitList, DropsALoneLeadingQuoteAndKeepsInnerQuotes)
{
    const char text[] = "\"open,a\"b\"c";
    char* list = SplitList(text, strlen(text));
    // "open,a" closes its quotes in the first item; the second has three quotes.
    EXPECT_EQ((std::vector<std::string>{"\"open,a\"b\"c"}), Items(list));
    free(list);

    const char single[] = "\"lonely,x";
    list = SplitList(single, strlen(single));
    EXPECT_EQ((std::vector<std::string>{"lonely,x"}), Items(list));
    free(list);
}

TEST(SplitList, EmptyTextIsAnEmptyList)
{
    char* list = SplitList("", 0);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0, list[0]);
    EXPECT_EQ(0, list[1]);
    free(list);
}

TEST(ParseOptions, OptionsAndPlainTokens)
{
    tList* options = ParseOptions(
        "prog.exe  -debug:2,stdout /Plain \"a quoted token\" /x\"a:b\" -path:\"c:\\a b\\c.log\"");
    ASSERT_EQ(6, ListCount(options));

    auto at = [&](int i) { return static_cast<tOption*>(ListGetAt(options, i)); };
    EXPECT_EQ(nullptr, at(0)->name);
    EXPECT_EQ((std::vector<std::string>{"prog.exe"}), Items(at(0)->value));

    EXPECT_STREQ("debug", at(1)->name);
    EXPECT_EQ((std::vector<std::string>{"2", "stdout"}), Items(at(1)->value));

    EXPECT_STREQ("Plain", at(2)->name);
    EXPECT_EQ(nullptr, at(2)->value) << "an option without ':' has no value";

    EXPECT_EQ(nullptr, at(3)->name);
    EXPECT_EQ((std::vector<std::string>{"a quoted token"}), Items(at(3)->value));

    EXPECT_STREQ("x\"a:b\"", at(4)->name) << "a ':' after a quote does not end the name";
    EXPECT_EQ(nullptr, at(4)->value);

    EXPECT_EQ((std::vector<std::string>{"c:\\a b\\c.log"}), Items(at(5)->value));

    EXPECT_EQ(at(1), FindOption(options, "DEBUG")) << "names match without regard to case";
    EXPECT_EQ(at(2), FindOption(options, "plain"));
    EXPECT_EQ(nullptr, FindOption(options, "prog.exe")) << "nameless records never match";
    EXPECT_EQ(nullptr, FindOption(options, "missing"));
    ListFree(options);
}

TEST(ParseOptions, EmptyAndBlankLines)
{
    tList* options = ParseOptions("   ");
    EXPECT_EQ(0, ListCount(options));
    ListFree(options);
    options = ParseOptions(nullptr);
    EXPECT_EQ(0, ListCount(options));
    ListFree(options);
}

TEST_F(TraceTest, QualifiedNamesComeFromTheSignature)
{
    char name[128];
    TraceQualifiedName("virtual void CMonitor::Stop(int)", name, sizeof name);
    EXPECT_STREQ("CMonitor::Stop", name);
    TraceQualifiedName("CMonitor::~CMonitor()", name, sizeof name);
    EXPECT_STREQ("CMonitor::~CMonitor", name);
    TraceQualifiedName("std::pair<int, int> ns::Make(const char*)", name, sizeof name);
    EXPECT_STREQ("ns::Make", name);
    TraceQualifiedName("bool CItem::operator()(int)", name, sizeof name);
    EXPECT_STREQ("CItem::operator()", name);
    TraceQualifiedName("int main()", name, 4);
    EXPECT_STREQ("mai", name) << "cut to the buffer";
}

TEST_F(TraceTest, PrefixedLinesNameFileLineAndFunction)
{
    CTempDir dir;
    std::string file = dir.File("trace.log");
    ASSERT_TRUE(TraceInit(("x.exe /debug:" + file).c_str()));
    int line = 0;
    {
        inner::CThing thing;
        thing.Method();
        line = thing.m_line;
    }
    TraceCloseAll();
    std::string expected = "common/tests/trace_tests.cpp(" + std::to_string(line) +
                           ") : {anonymous}::inner::CThing::Method(): value 42\r\n";
    std::string text = ReadFileText(file);
    EXPECT_EQ(0u, text.find(expected)) << text;
    EXPECT_NE(std::string::npos, text.find("CThing::~CThing(): entering\r\n")) << text;
}

TEST_F(TraceTest, LevelZeroSilencesEverything)
{
    CTempDir dir;
    std::string file = dir.File("silent.log");
    TraceInit(("x.exe -debug:0,stdout," + file).c_str());
    EXPECT_EQ(0, TraceGetLevel());
    Trace("must not appear\n");
    TraceCloseAll();
    EXPECT_TRUE(testsupport::FileExists(file)) << "the output is opened all the same";
    EXPECT_EQ("", ReadFileText(file));
}

TEST_F(TraceTest, CapitalOptionWithLevelStdoutAndFile)
{
    CTempDir dir;
    std::string file = dir.File("both.log");
    TraceInit(("x.exe /DEBUG:2,stdout," + file).c_str());
    EXPECT_EQ(2, TraceGetLevel());
    EXPECT_TRUE(TraceGetStdout());
    EXPECT_EQ(1, TraceGetOutputCount());

    ::testing::internal::CaptureStdout();
    Trace("hello %s\n", "world");
    std::string out = ::testing::internal::GetCapturedStdout();
    TraceCloseAll();
    EXPECT_NE(std::string::npos, out.find("hello world")) << out;
    EXPECT_EQ("hello world\r\n", ReadFileText(file));
}

TEST_F(TraceTest, QuotedPathWithBlankIsOneOutput)
{
    CTempDir dir;
    std::string file = dir.File("with blank.log");
    TraceInit(("x.exe /debug:\"" + file + "\"").c_str());
    EXPECT_EQ(1, TraceGetOutputCount());
    EXPECT_FALSE(TraceGetStdout());
    Trace("x");
    TraceCloseAll();
    EXPECT_EQ("x", ReadFileText(file));
}

TEST_F(TraceTest, EnvironmentVariableIsTheFallback)
{
    CTempDir dir;
    std::string file = dir.File("env.log");
    SetEnvironmentVariableA("DEBUG", ("1," + file).c_str());
    TraceInit("x.exe /other");
    EXPECT_EQ(1, TraceGetLevel());
    Trace("from env\n");
    TraceCloseAll();
    EXPECT_EQ("from env\r\n", ReadFileText(file));

    // An option on the command line wins over the variable.
    std::string second = dir.File("option.log");
    TraceInit(("x.exe /debug:" + second).c_str());
    Trace("from option");
    TraceCloseAll();
    EXPECT_EQ("from option", ReadFileText(second));
    EXPECT_EQ("from env\r\n", ReadFileText(file));
}

TEST_F(TraceTest, SixteenOutputsAtMost)
{
    CTempDir dir;
    std::string list;
    for (int i = 0; i < 17; ++i)
        list += (i ? "," : "") + dir.File("out" + std::to_string(i) + ".log");
    TraceInit(("x.exe /debug:" + list).c_str());
    EXPECT_EQ(16, TraceGetOutputCount());
    Trace("all");
    TraceCloseAll();
    EXPECT_EQ("all", ReadFileText(dir.File("out15.log")));
    EXPECT_FALSE(testsupport::FileExists(dir.File("out16.log")));
}

TEST_F(TraceTest, SecondInitAddsOutputsAndUnopenableOnesAreSkipped)
{
    CTempDir dir;
    TraceInit(("x.exe /debug:msdbg," + dir.File("a.log")).c_str());
    TraceInit(("x.exe /debug:3," + dir.File("missing\\dir\\b.log") + "," + dir.File("c.log")).c_str());
    EXPECT_EQ(2, TraceGetOutputCount());
    EXPECT_EQ(3, TraceGetLevel());
    Trace("twice");
    TraceCloseAll();
    EXPECT_EQ("twice", ReadFileText(dir.File("a.log")));
    EXPECT_EQ("twice", ReadFileText(dir.File("c.log")));
}

TEST_F(TraceTest, DevicesAreOpenedAsTheyAre)
{
    TraceInit("x.exe /debug:NUL");
    EXPECT_EQ(1, TraceGetOutputCount());
    EXPECT_GT(Trace("into the void"), 0);
}

TEST_F(TraceTest, VerboseStatementsExistOnlyInVerboseBuilds)
{
    CTempDir dir;
    std::string file = dir.File("verbose.log");
    TraceInit(("x.exe /debug:" + file).c_str());
    TraceVerboseOn();
    TraceVerboseOff();
    TraceCloseAll();
    EXPECT_EQ(1, g_verboseOnEvaluations);
    EXPECT_EQ(0, g_verboseOffEvaluations) << "compiled-out arguments are not evaluated";
    std::string text = ReadFileText(file);
    EXPECT_NE(std::string::npos, text.find("trace_verbose_on.cpp(")) << text;
    EXPECT_NE(std::string::npos, text.find("TraceVerboseOn(): verbose 1")) << text;
    EXPECT_EQ(std::string::npos, text.find("trace_verbose_off.cpp")) << text;
}

TEST_F(TraceTest, ErrorsAreTracedWithTheirSystemText)
{
    CTempDir dir;
    std::string file = dir.File("error.log");
    TraceInit(("x.exe /debug:" + file).c_str());
    TraceError(ERROR_FILE_NOT_FOUND);
    SetLastError(ERROR_ACCESS_DENIED);
    TraceLastError();
    TraceError(0x2FFFFFFF); // no system text for this one
    TraceCloseAll();
    std::string text = ReadFileText(file);
    EXPECT_EQ(0u, text.find("Error number 2: ")) << text;
    EXPECT_NE(std::string::npos, text.find("Error number 5: ")) << text;
    EXPECT_NE(std::string::npos, text.find("Error number 805306367: ")) << text;
}

// With no list at all, messages go to standard output and to the developer's pipe when a
// viewer serves it.
TEST_F(TraceTest, DefaultDestinationsIncludeTheDebugPipe)
{
    raii::CHandle pipe(CreateNamedPipeA("\\\\.\\pipe\\debug", PIPE_ACCESS_INBOUND,
                                        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096,
                                        4096, 0, nullptr));
    ASSERT_TRUE(pipe.IsValid());
    std::string received;
    std::thread viewer([&] {
        if (!ConnectNamedPipe(pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        char buffer[256];
        DWORD count = 0;
        while (received.find('\n') == std::string::npos &&
               ReadFile(pipe.Get(), buffer, sizeof buffer, &count, nullptr) && count > 0)
            received.append(buffer, count);
    });

    ::testing::internal::CaptureStdout();
    TraceInit("x.exe /debug:1");
    EXPECT_EQ(1, TraceGetLevel());
    EXPECT_TRUE(TraceGetStdout());
    EXPECT_EQ(1, TraceGetOutputCount());
    Trace("to the viewer\n");
    std::string out = ::testing::internal::GetCapturedStdout();
    viewer.join(); // the client end stays open until the viewer has read the line
    TraceCloseAll();
    EXPECT_NE(std::string::npos, out.find("to the viewer")) << out;
    EXPECT_EQ("to the viewer\r\n", received);
}

TEST_F(TraceTest, WithoutAViewerThePipeIsSkipped)
{
    ::testing::internal::CaptureStdout();
    TraceInit(nullptr);
    Trace("only stdout\n");
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(TraceGetStdout());
    EXPECT_EQ(0, TraceGetOutputCount());
    EXPECT_NE(std::string::npos, out.find("only stdout"));
}

namespace {

// A viewer's end of a pipe: serves it, reads only when told to.
class CViewer {
public:
    explicit CViewer(const char* name)
        : m_pipe(CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                  4096, 4096, 0, nullptr))
    {
    }
    bool Ok() const { return m_pipe.IsValid(); }
    HANDLE Get() const { return m_pipe.Get(); }
    // Everything written so far (the client end must be open).
    std::string ReadAvailable()
    {
        std::string text;
        char buffer[4096];
        DWORD available = 0, count = 0;
        while (PeekNamedPipe(m_pipe.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ReadFile(m_pipe.Get(), buffer, sizeof buffer, &count, nullptr) && count > 0)
            text.append(buffer, count);
        return text;
    }

private:
    raii::CHandle m_pipe;
};

std::vector<std::string> Lines(const std::string& text, const char* separator = "\r\n")
{
    std::vector<std::string> lines;
    size_t at = 0, end;
    while ((end = text.find(separator, at)) != std::string::npos) {
        lines.push_back(text.substr(at, end - at));
        at = end + strlen(separator);
    }
    if (at < text.size())
        lines.push_back(text.substr(at));
    return lines;
}

} // namespace

// A viewer that does not read must not stop the program: lines that find the pipe full are
// dropped, and what the viewer gets is whole lines.
TEST_F(TraceTest, AViewerThatDoesNotReadDropsLinesInsteadOfBlocking)
{
    const char* name = "\\\\.\\pipe\\velmora-trace-test";
    CViewer viewer(name);
    ASSERT_TRUE(viewer.Ok());
    TraceInit((std::string("x.exe /debug:") + name).c_str());
    ASSERT_EQ(1, TraceGetOutputCount());
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            Trace("line %04d %s\n", i, std::string(60, 'x').c_str());
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        Sleep(10);
    bool inTime = done;
    while (!done) // a writer that waits for the viewer is freed before the test fails
        viewer.ReadAvailable();
    writer.join();
    ASSERT_TRUE(inTime) << "2000 lines into a pipe that nobody reads took more than 5 s";

    std::vector<std::string> lines = Lines(viewer.ReadAvailable());
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(lines.size(), 2000u) << "a pipe of 4 KiB cannot have taken all";
    for (const std::string& line : lines)
        EXPECT_EQ(70u, line.size()) << "whole lines only: " << line;
    EXPECT_EQ("line 0000 " + std::string(60, 'x'), lines.front());

    Trace("after the viewer read\n");
    EXPECT_EQ("after the viewer read\r\n", viewer.ReadAvailable()) << "lines flow again once there is room";
    TraceCloseAll();
}

// Whoever serves the pipe may learn who writes to it, but not act as the writer.
TEST_F(TraceTest, ThePipeIsOpenedForIdentificationOnly)
{
    const char* name = "\\\\.\\pipe\\velmora-trace-sqos";
    CViewer viewer(name);
    ASSERT_TRUE(viewer.Ok());
    TraceInit((std::string("x.exe /debug:") + name).c_str());
    Trace("hello\n");
    ASSERT_EQ("hello\r\n", viewer.ReadAvailable());
    // Wine takes the quality-of-service flags but impersonates every pipe client fully.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        TraceCloseAll();
        GTEST_SKIP() << "Wine ignores SECURITY_SQOS_PRESENT: the impersonation level is checked on Windows only";
    }
    ASSERT_TRUE(ImpersonateNamedPipeClient(viewer.Get())) << GetLastError();
    HANDLE token = nullptr;
    BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    SECURITY_IMPERSONATION_LEVEL level = SecurityDelegation;
    DWORD size = 0;
    BOOL queried = opened && GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size);
    RevertToSelf();
    if (token)
        CloseHandle(token);
    TraceCloseAll();
    ASSERT_TRUE(queried) << GetLastError();
    EXPECT_EQ(SecurityIdentification, level);
}

// A placed line is one write: the lines of threads tracing at once stay whole.
TEST_F(TraceTest, LinesOfSeveralThreadsDoNotMix)
{
    CTempDir dir;
    std::string file = dir.File("threads.log");
    TraceInit(("x.exe /debug:" + file).c_str());
    auto body = [](char mark) {
        for (int i = 0; i < 300; ++i)
            TraceHere("%s\n", std::string(40, mark).c_str());
    };
    std::thread a(body, 'a'), b(body, 'b');
    a.join();
    b.join();
    TraceCloseAll();
    std::vector<std::string> lines = Lines(ReadFileText(file));
    ASSERT_EQ(600u, lines.size());
    for (const std::string& line : lines) {
        size_t message = line.find("(): ");
        ASSERT_NE(std::string::npos, message) << line;
        std::string text = line.substr(message + 4);
        EXPECT_TRUE(text == std::string(40, 'a') || text == std::string(40, 'b')) << line;
        EXPECT_EQ(0u, line.find("common/tests/trace_tests.cpp(")) << line;
    }
}
