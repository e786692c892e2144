#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <shlobj.h>
#include <time.h>

#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "common/xutil.h"

using testsupport::CTempDir;
using testsupport::FileExists;
using testsupport::ReadFileText;

namespace {

using testsupport::CTestKey;

const char kProduct[] = "VelmoraUtilityTestProduct";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";


std::string ChildProgram()
{
    return testsupport::ProgramFolder() + "\\xutil_child.exe";
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool WaitForFile(const std::string& path)
{
    for (int i = 0; i < 100 && !FileExists(path); ++i)
        Sleep(50);
    Sleep(100); // let the writer finish
    return FileExists(path);
}

} // namespace

TEST(StartProgram, CommandLineAndDirectoryOfAProgramText)
{
    EXPECT_EQ("\"C:\\Program Files\\x.exe\" /s", xUtilBuildCommandLine("C:\\Program Files\\x.exe", "/s"));
    EXPECT_EQ("C:\\Program Files", xUtilProgramDirectory("C:\\Program Files\\x.exe"));
    EXPECT_EQ("\"C:\\Program Files\\x.exe\"", xUtilBuildCommandLine("\"C:\\Program Files\\x.exe\"", nullptr))
        << "not quoted twice";
    EXPECT_EQ("C:\\Program Files", xUtilProgramDirectory("\"C:\\Program Files\\x.exe\""));
    EXPECT_EQ("c:\\x.exe -a -b", xUtilBuildCommandLine("c:\\x.exe", "-a -b"));
    EXPECT_EQ("", xUtilProgramDirectory("notepad.exe"));
}

TEST(StartProgram, QuotedArgumentsReadBackAsTheyWere)
{
    EXPECT_EQ("plain", xUtilQuoteArgument("plain"));
    EXPECT_EQ("\"\"", xUtilQuoteArgument(""));
    EXPECT_EQ("\"a b\"", xUtilQuoteArgument("a b"));
    EXPECT_EQ("C:\\dir\\", xUtilQuoteArgument("C:\\dir\\")) << "backslashes alone need nothing";
    EXPECT_EQ("\"C:\\my dir\\\\\"", xUtilQuoteArgument("C:\\my dir\\")) << "doubled before the closing quote";
    EXPECT_EQ("\"say \\\"hi\\\"\"", xUtilQuoteArgument("say \"hi\""));

    // The system's own parser takes every one of them back as one argument, unchanged.
    const char* arguments[] = {"http://198.18.0.5/live stream", "a\"b", "\\\"", "x\\\\\" /evil \"", "tab\there",
                               "trailing\\", "\\\\server\\share dir\\", "", "-a"};
    std::string line = "prog.exe";
    for (const char* argument : arguments)
        line += " " + xUtilQuoteArgument(argument);
    std::wstring wide(line.begin(), line.end());
    int count = 0;
    LPWSTR* parsed = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(nullptr, parsed);
    ASSERT_EQ(static_cast<int>(sizeof arguments / sizeof arguments[0]) + 1, count) << line;
    for (int i = 1; i < count; ++i) {
        std::wstring w(parsed[i]);
        EXPECT_EQ(arguments[i - 1], std::string(w.begin(), w.end())) << line;
    }
    LocalFree(parsed);
}

TEST(StartProgram, RunsQuotedFromItsOwnFolderAndReturnsTheExitCode)
{
    CTempDir dir;
    std::string folder = dir.File("folder with blank");
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string program = folder + "\\child.exe";
    ASSERT_TRUE(CopyFileA(ChildProgram().c_str(), program.c_str(), FALSE));
    std::string report = dir.File("report.txt");

    DWORD code = 0;
    ASSERT_TRUE(xUtilStartProgram(program.c_str(), (report + " 37").c_str(), nullptr,
                                  XUTIL_WAIT_EXIT, &code));
    EXPECT_EQ(37u, code);
    std::vector<std::string> lines = Lines(ReadFileText(report));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("\"" + program + "\" " + report + " 37", lines[0]);
    EXPECT_EQ(folder, lines[1]);

    // An explicit directory wins over the program's own.
    ASSERT_TRUE(xUtilStartProgram(program.c_str(), (report + " 0").c_str(), dir.Path().c_str(),
                                  XUTIL_WAIT_EXIT, &code));
    EXPECT_EQ(dir.Path(), Lines(ReadFileText(report))[1]);
}

TEST(StartProgram, WithoutWaitingAndFailures)
{
    CTempDir dir;
    std::string report = dir.File("nowait.txt");
    ASSERT_TRUE(xUtilStartProgram(ChildProgram().c_str(), report.c_str(), nullptr, 0, nullptr));
    EXPECT_TRUE(WaitForFile(report));

    EXPECT_TRUE(xUtilStartProgram(ChildProgram().c_str(), dir.File("idle.txt").c_str(), nullptr,
                                  XUTIL_WAIT_IDLE, nullptr));
    EXPECT_FALSE(xUtilStartProgram(dir.File("missing.exe").c_str(), nullptr, nullptr,
                                   XUTIL_WAIT_EXIT, nullptr));
}

TEST(InstalledFiles, FoundThroughTheUninstallEntry)
{
    CTempDir dir;
    std::string program = dir.File("child.exe");
    ASSERT_TRUE(CopyFileA(ChildProgram().c_str(), program.c_str(), FALSE));
    CTestKey key(HKEY_LOCAL_MACHINE, std::string(kUninstall) + kProduct);

    char path[MAX_PATH];
    EXPECT_FALSE(xUtilFindInstalledFile(kProduct, "child.exe", path, sizeof path))
        << "no UserTargetDir yet";
    key.SetDword("UserTargetDir", 7);
    EXPECT_FALSE(xUtilFindInstalledFile(kProduct, "child.exe", path, sizeof path))
        << "a number is no folder";

    key.SetString("UserTargetDir", dir.Path());
    ASSERT_TRUE(xUtilFindInstalledFile(kProduct, "child.exe", path, sizeof path));
    EXPECT_EQ(program, path);
    EXPECT_FALSE(xUtilFindInstalledFile(kProduct, "absent.exe", path, sizeof path));
    EXPECT_FALSE(xUtilFindInstalledFile(kProduct, "child.exe", path, 8)) << "buffer too small";
    EXPECT_FALSE(xUtilFindInstalledFile("NoSuchProduct", "child.exe", path, sizeof path));

    // Started without arguments, the child writes nothing and exits: the start itself counts.
    EXPECT_TRUE(xUtilStartInstalledProgram(kProduct, "child.exe"));
    EXPECT_FALSE(xUtilStartInstalledProgram(kProduct, "absent.exe"));
}

TEST(InstalledFiles, AppPathsExpandAndUnquote)
{
    CTestKey key(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "velmoratest.exe");
    char path[MAX_PATH];
    EXPECT_FALSE(xUtilGetAppPath("velmoratest.exe", path, sizeof path));

    SetEnvironmentVariableA("VELMORA_APPDIR", "C:\\Apps");
    key.SetString(nullptr, "\"%VELMORA_APPDIR%\\velmoratest.exe\"", REG_EXPAND_SZ);
    ASSERT_TRUE(xUtilGetAppPath("velmoratest.exe", path, sizeof path));
    EXPECT_STREQ("C:\\Apps\\velmoratest.exe", path);

    key.SetString(nullptr, "%NOT_EXPANDED%\\x.exe", REG_SZ);
    ASSERT_TRUE(xUtilGetAppPath("velmoratest.exe", path, sizeof path));
    EXPECT_STREQ("%NOT_EXPANDED%\\x.exe", path);

    key.SetDword(nullptr, 1);
    EXPECT_FALSE(xUtilGetAppPath("velmoratest.exe", path, sizeof path));
}

TEST(DelayedDelete, SystemIsAskedToDeleteAtRestart)
{
    CTempDir dir;
    std::string file = dir.File("late.txt");
    testsupport::WriteFileText(file, "x");
    ASSERT_TRUE(xUtilDelayFileDelete(file.c_str()));

    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                           "System\\CurrentControlSet\\Control\\Session Manager",
                                           0, KEY_READ, &opened));
    raii::CRegKey key(opened);
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size());
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr,
                                              nullptr, reinterpret_cast<BYTE*>(data.data()), &size));
    std::string operations(data.data(), size);
    EXPECT_NE(std::string::npos, operations.find("late.txt")) << operations;
    EXPECT_TRUE(FileExists(file)) << "only at the next restart";
}

TEST(DelayedDelete, WininitGetsTheShortPathAfterItsLines)
{
    CTempDir dir;
    std::string file = dir.File("a rather long file name.txt");
    testsupport::WriteFileText(file, "x");
    std::string wininit = dir.File("wininit.ini");
    testsupport::WriteFileText(wininit, "[Other]\r\nk=v\r\n[Rename]\r\nNUL=C:\\OLD1.TXT\r\n"
                                        "C:\\NEW.TXT=C:\\OLD2.TXT\r\n");
    ASSERT_TRUE(xUtilDelayFileDeleteWininit(file.c_str(), wininit.c_str()));

    char shortPath[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath));
    std::string text = ReadFileText(wininit);
    std::string::size_type first = text.find("NUL=C:\\OLD1.TXT");
    std::string::size_type second = text.find("C:\\NEW.TXT=C:\\OLD2.TXT");
    std::string::size_type added = text.find(std::string("NUL=") + shortPath);
    ASSERT_NE(std::string::npos, added) << text;
    EXPECT_LT(first, second);
    EXPECT_LT(second, added) << text;
    EXPECT_NE(std::string::npos, text.find("[Other]"));
    EXPECT_EQ(std::string::npos, text.find("a rather long")) << "the short form is written";

    EXPECT_FALSE(xUtilDelayFileDeleteWininit(dir.File("missing.txt").c_str(), wininit.c_str()));
}

TEST(RunOnce, RegistersTheRunningProgram)
{
    const char* runOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    ASSERT_TRUE(xUtilRegisterRunOnce(nullptr, "/resume now"));
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, runOnce, 0, KEY_ALL_ACCESS, &opened));
    raii::CRegKey key(opened);
    char value[1024] = "";
    DWORD size = sizeof value;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.Get(), "common_xutil_tests.exe", nullptr, &type,
                                              reinterpret_cast<BYTE*>(value), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string expected = self;
    if (expected.find(' ') != std::string::npos)
        expected = "\"" + expected + "\"";
    EXPECT_EQ(expected + " /resume now", value);
    RegDeleteValueA(key.Get(), "common_xutil_tests.exe");
}

TEST(Versions, DllAndComctlVersions)
{
    EXPECT_EQ(0u, xUtilGetDllVersion("no-such-library.dll"));
    EXPECT_EQ(0u, xUtilGetDllVersion("version.dll")) << "no DllGetVersion";
    DWORD shell = xUtilGetDllVersion("shell32.dll");
    EXPECT_GE(HIWORD(shell), 4u);

    DWORD major = 0, minor = 0;
    ASSERT_TRUE(xUtilGetComctlVersion(&major, &minor));
    DWORD packed = xUtilGetDllVersion("comctl32.dll");
    EXPECT_EQ(major, HIWORD(packed));
    EXPECT_EQ(minor, LOWORD(packed));
    EXPECT_TRUE(major > 5 || (major == 5 && minor >= 80)) << major << "." << minor;
}

TEST(Versions, RunningSystem)
{
    const tOSVersion& v = xUtilGetOSVersion();
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExA(&info));
#pragma GCC diagnostic pop
    EXPECT_EQ(info.dwMajorVersion, v.major);
    bool expected = info.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                    ((info.dwMajorVersion == 5 && info.dwMinorVersion > 0) || info.dwMajorVersion > 5);
    EXPECT_EQ(expected, xUtilIsNT51OrLater());
    EXPECT_TRUE(xUtilMatchOSVersion(">=WinXP") == expected);
    EXPECT_TRUE(xUtilMatchOSVersion("!Win98") == (info.dwPlatformId == VER_PLATFORM_WIN32_NT));
}

TEST(Versions, ModuleVersionAndLinkDate)
{
    tModuleVersion version;
    ASSERT_TRUE(xUtilGetModuleVersion(nullptr, &version));
    EXPECT_EQ(1, version.major);
    EXPECT_EQ(2, version.minor);
    EXPECT_EQ(3, version.build);

    // The link date is the build's: after 2020 and not in the future.
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_GE(version.linkDate.wYear, 2020);
    FILETIME linked, current;
    SystemTimeToFileTime(&version.linkDate, &linked);
    SystemTimeToFileTime(&now, &current);
    EXPECT_LE(CompareFileTime(&linked, &current), 0);

    tModuleVersion kernel;
    EXPECT_TRUE(xUtilGetModuleVersion(GetModuleHandleA("kernel32.dll"), &kernel));
}

TEST(Versions, LinkStampNeedsARealHeader)
{
    std::vector<BYTE> image(1024, 0);
    DWORD stamp = 0;
    EXPECT_FALSE(xUtilReadLinkTimestamp(image.data(), image.size(), &stamp)) << "no MZ";
    image[0] = 'M';
    image[1] = 'Z';
    IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image.data());
    dos->e_lfanew = 128;
    EXPECT_FALSE(xUtilReadLinkTimestamp(image.data(), image.size(), &stamp)) << "no PE";
    memcpy(&image[128], "PE\0\0", 4);
    DWORD value = 0x5F000000;
    memcpy(&image[128 + 4 + 4], &value, 4); // after Machine and NumberOfSections
    ASSERT_TRUE(xUtilReadLinkTimestamp(image.data(), image.size(), &stamp));
    EXPECT_EQ(value, stamp);
    EXPECT_FALSE(xUtilReadLinkTimestamp(image.data(), 128 + 247, &stamp)) << "header cut short";
    dos->e_lfanew = 0x7FFFFFF0;
    EXPECT_FALSE(xUtilReadLinkTimestamp(image.data(), image.size(), &stamp)) << "pointer outside";
}

TEST(Shortcuts, ShellLinkWithMissingFoldersAndAllFields)
{
    CTempDir dir;
    std::string link = dir.File("new\\nested\\My Link");
    ASSERT_TRUE(xUtilCreateShortcut(link.c_str(), "C:\\windows\\notepad.exe", "/a b",
                                    "C:\\windows", "C:\\windows\\notepad.exe", 2));
    ASSERT_TRUE(FileExists(link + ".lnk"));

    raii::CComInit com;
    raii::CComPtr<IShellLinkA> shell;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkA, shell.ReceiveVoid())));
    raii::CComPtr<IPersistFile> persist;
    ASSERT_TRUE(SUCCEEDED(shell.QueryInterface(IID_IPersistFile, persist)));
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, (link + ".lnk").c_str(), -1, wide, MAX_PATH);
    ASSERT_TRUE(SUCCEEDED(persist->Load(wide, STGM_READ)));
    char text[MAX_PATH];
    shell->GetArguments(text, sizeof text);
    EXPECT_STREQ("/a b", text);
    shell->GetWorkingDirectory(text, sizeof text);
    EXPECT_STREQ("C:\\windows", text);
    int icon = -1;
    shell->GetIconLocation(text, sizeof text, &icon);
    EXPECT_EQ(2, icon);
    shell->GetPath(text, sizeof text, nullptr, 0);
    EXPECT_NE(nullptr, strstr(text, "notepad.exe")) << text;

    // Saving again over the existing link updates it.
    EXPECT_TRUE(xUtilCreateShortcut(link.c_str(), "C:\\windows\\regedit.exe", nullptr, nullptr,
                                    nullptr, 0));
}

TEST(Shortcuts, InternetShortcutHoldsTheAddress)
{
    CTempDir dir;
    std::string link = dir.File("web\\Home page");
    ASSERT_TRUE(xUtilCreateInternetShortcut(link.c_str(), "http://198.18.0.1/index.html"));
    std::string text = ReadFileText(link + ".url");
    EXPECT_NE(std::string::npos, text.find("URL=http://198.18.0.1/index.html")) << text;
}
