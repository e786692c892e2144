// dialtrack.dll as the build delivers it: exactly the two exports of a plug-in of its kind, and
// the seal without which the monitor refuses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "common/tests/test_support.h"
#include "monitor/plugin_seal.h"

TEST(DialtrackDll, ExportsGetStateAndCleanupOnly)
{
    std::string path = testsupport::ProgramFolder() + "\\dialtrack.dll";
    // Mapped as an image without running its code: the export directory is read in place.
    HMODULE dll = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, dll) << path;
    auto base = reinterpret_cast<const BYTE*>(dll);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, directory.VirtualAddress);
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.insert(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ((std::set<std::string>{"Cleanup", "GetState"}), found);
    EXPECT_EQ(2u, exports->NumberOfFunctions);
    FreeLibrary(dll);
}

TEST(DialtrackDll, CarriesTheSealTheMonitorChecks)
{
    EXPECT_TRUE(VerifyPluginFile(testsupport::ProgramFolder() + "\\dialtrack.dll"));
}
