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

namespace {

// The text of a string resource in one language, found in its block of sixteen.
std::wstring StringIn(HMODULE module, UINT id, WORD language)
{
    HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(id / 16 + 1), language);
    if (!block)
        return std::wstring();
    auto data = static_cast<const WCHAR*>(LockResource(LoadResource(module, block)));
    for (UINT i = 0; data && i < id % 16; ++i)
        data += 1 + *data;
    return data ? std::wstring(data + 1, *data) : std::wstring();
}

} // namespace

TEST(DialtrackDll, EveryTextAndPageExistsInSixLanguages)
{
    std::string path = testsupport::ProgramFolder() + "\\dialtrack.dll";
    HMODULE dll = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, dll);
    const UINT strings[] = {1,  11, 12, 15, 16, 17, 18, 19, 20, 21, 22, 23, 25, 27, 29, 30,
                            31, 32, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 48};
    // English, German, French, Italian, Dutch, and Spanish as the neutral language 10.
    const WORD languages[] = {1033, 1031, 1036, 1040, 1043, 10};
    for (WORD language : languages) {
        for (UINT id : strings)
            EXPECT_FALSE(StringIn(dll, id, language).empty()) << "string " << id << " in " << language;
        for (UINT dialog : {4096u, 4100u})
            EXPECT_NE(nullptr, FindResourceExA(dll, RT_DIALOG, MAKEINTRESOURCEA(dialog), language))
                << "page " << dialog << " in " << language;
    }
    EXPECT_EQ(L"Disconnect", StringIn(dll, 44, 1033));
    EXPECT_EQ(L"Trennen", StringIn(dll, 44, 1031));
    FreeLibrary(dll);
}
