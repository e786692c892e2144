#include <gtest/gtest.h>

#include "common/module.h"
#include "common/tests/test_support.h"

TEST(Module, PathsOfTheProgramAndOfAnAddress)
{
    std::string program = xUtilGetModulePath(nullptr);
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(testsupport::ProgramFolder(), xUtilGetModuleFolder(nullptr));
    EXPECT_EQ(program, xUtilGetModulePath(xUtilModuleOfAddress(reinterpret_cast<const void*>(
                           &xUtilGetModulePath))))
        << "the library is linked into the program";
    EXPECT_EQ(testsupport::ProgramFolder() + "\\x.ini", xUtilPathBesideModule(nullptr, "x.ini"));
    EXPECT_EQ(nullptr, xUtilModuleOfAddress(nullptr));
}

TEST(Module, LateBindingFindsExportsAndMissesGracefully)
{
    CDllBinding kernel("kernel32.dll");
    ASSERT_TRUE(kernel.IsLoaded());
    DWORD(WINAPI * tick)() = nullptr;
    EXPECT_TRUE(kernel.Bind(tick, "GetTickCount"));
    ASSERT_NE(nullptr, tick);
    EXPECT_NE(0u, tick());
    void (*missing)() = reinterpret_cast<void (*)()>(1);
    EXPECT_FALSE(kernel.Bind(missing, "NoSuchExportAnywhere"));
    EXPECT_EQ(nullptr, missing);

    CDllBinding absent("velmora-no-such.dll");
    EXPECT_FALSE(absent.IsLoaded());
    EXPECT_FALSE(absent.Bind(tick, "GetTickCount"));
    EXPECT_EQ(nullptr, tick);
}
