#include <gtest/gtest.h>

#include <shlobj.h>

#include <thread>
#include <utility>

#include "common/raii.h"
#include "common/tests/test_support.h"

using namespace raii;

namespace {

bool IsOpenHandle(HANDLE h)
{
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

} // namespace

TEST(Raii, HandleClosesOnceAndMovesOwnership)
{
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        CHandle a(raw);
        EXPECT_TRUE(a.IsValid());
        CHandle b(std::move(a));
        EXPECT_FALSE(a.IsValid());
        EXPECT_EQ(raw, b.Get());
        EXPECT_TRUE(IsOpenHandle(raw));
        CHandle c;
        c = std::move(b);
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw)) << "closed when the last owner went";
}

TEST(Raii, AttachClosesThePreviousHandleAndDetachKeepsItOpen)
{
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CHandle owner(first);
    owner.Attach(second);
    EXPECT_FALSE(IsOpenHandle(first));
    HANDLE released = owner.Detach();
    EXPECT_EQ(second, released);
    EXPECT_FALSE(owner.IsValid());
    EXPECT_TRUE(owner.Close()) << "closing nothing is fine";
    EXPECT_TRUE(IsOpenHandle(second));
    CloseHandle(second);
}

TEST(Raii, InvalidFileHandleIsNotOwned)
{
    CHandle file(CreateFileA("Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file.IsValid());
    EXPECT_FALSE(static_cast<bool>(file));
}

TEST(Raii, SocketModuleRegistryAndGdiOwners)
{
    CWinsockInit winsock;
    ASSERT_TRUE(winsock.Ok());
    SOCKET raw = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    {
        CSocket s(raw);
        ASSERT_TRUE(s.IsValid());
    }
    int type = 0;
    int size = sizeof type;
    EXPECT_NE(0, getsockopt(raw, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size))
        << "the socket is closed";

    {
        CModule module(LoadLibraryA("version.dll"));
        ASSERT_TRUE(module.IsValid());
        EXPECT_NE(nullptr, GetProcAddress(module.Get(), "GetFileVersionInfoA"));
    }

    HKEY raw_key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &raw_key));
    {
        CRegKey key(raw_key);
        EXPECT_TRUE(key.IsValid());
    }
    EXPECT_NE(ERROR_SUCCESS, RegCloseKey(raw_key)) << "closed by its owner already";

    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    {
        CGdiObject owner(brush);
        EXPECT_NE(0, GetObjectType(brush));
    }
    EXPECT_EQ(0u, GetObjectType(brush));
}

TEST(Raii, CriticalSectionLockExcludesOtherThreads)
{
    CCriticalSection section;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CLock lock(section);
            int read = counter;
            if ((i & 1023) == 0)
                Sleep(0);
            counter = read + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(40000, counter);

    {
        CLock lock(section);
        bool other = true;
        std::thread t([&] { other = section.TryEnter(); if (other) section.Leave(); });
        t.join();
        EXPECT_FALSE(other) << "held by the lock";
        lock.Unlock();
        std::thread u([&] { other = section.TryEnter(); if (other) section.Leave(); });
        u.join();
        EXPECT_TRUE(other) << "free after Unlock";
    }
}

TEST(Raii, ComPointerCountsReferences)
{
    CComInit com;
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    CComPtr<IShellLinkA> link;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkA, link.ReceiveVoid())));
    IShellLinkA* raw = link.Get();
    {
        CComPtr<IShellLinkA> copy(link);
        EXPECT_EQ(raw, copy.Get());
        // AddRef returns the new count: two owners plus this probe.
        EXPECT_EQ(3u, raw->AddRef());
        raw->Release();
    }
    EXPECT_EQ(2u, raw->AddRef()) << "the copy released its reference";
    raw->Release();

    CComPtr<IPersistFile> persist;
    EXPECT_TRUE(SUCCEEDED(link.QueryInterface(IID_IPersistFile, persist)));
    EXPECT_TRUE(static_cast<bool>(persist));
    CComPtr<IShellLinkA> moved(std::move(link));
    EXPECT_FALSE(static_cast<bool>(link));
    EXPECT_EQ(raw, moved.Get());
}
