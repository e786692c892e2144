#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>

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
