#include "common/xutil.h"

#include <shlwapi.h>
#include <string.h>

#include <mutex>
#include <vector>

#include "common/raii.h"

namespace {

tOSVersion g_running;
std::string g_runningText;
std::once_flag g_runningOnce;

void ReadRunningVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return;
#pragma GCC diagnostic pop
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s: g_running.platform = OS_PLATFORM_WIN32S; break;
    case VER_PLATFORM_WIN32_WINDOWS: g_running.platform = OS_PLATFORM_WIN9X; break;
    default: g_running.platform = OS_PLATFORM_WINNT; break;
    }
    g_running.parts = 3;
    g_running.major = info.dwMajorVersion;
    g_running.minor = info.dwMinorVersion;
    g_running.build = info.dwBuildNumber;
    g_running.servicePack = info.szCSDVersion;
    g_running.hasServicePack = !g_running.servicePack.empty();
    g_runningText = FormatOSVersion(g_running);
}

} // namespace

const tOSVersion& xUtilGetOSVersion(void)
{
    std::call_once(g_runningOnce, ReadRunningVersion);
    return g_running;
}

const char* xUtilGetOSVersionString(void)
{
    xUtilGetOSVersion();
    return g_runningText.empty() ? nullptr : g_runningText.c_str();
}

int xUtilCompareOSVersion(const char* version, const char* substitute)
{
    if (!version)
        return OS_COMPARE_INVALID;
    tOSVersion running;
    if (!substitute || !ParseOSVersion(substitute, running))
        running = xUtilGetOSVersion();
    return CompareOSVersion(version, running);
}

bool xUtilMatchOSVersion(const char* expression)
{
    return expression && MatchOSVersion(expression, xUtilGetOSVersion());
}

bool xUtilIsNT51OrLater(void)
{
    const tOSVersion& v = xUtilGetOSVersion();
    return v.platform == OS_PLATFORM_WINNT &&
           ((v.major == 5 && v.minor > 0) || v.major > 5);
}

DWORD xUtilGetDllVersion(const char* dllName)
{
    raii::CModule dll(LoadLibraryA(dllName));
    if (!dll)
        return 0;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(dll.Get(), "DllGetVersion"));
    if (!getVersion)
        return 0;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info; // the 20-byte record every version of the function knows
    if (FAILED(getVersion(&info)))
        return 0;
    return (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
}

bool xUtilGetComctlVersion(DWORD* major, DWORD* minor)
{
    raii::CModule dll(LoadLibraryA("comctl32.dll"));
    if (!dll)
        return false;
    DWORD foundMajor = 4, foundMinor = 0;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(dll.Get(), "DllGetVersion"));
    if (getVersion) {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof info;
        if (SUCCEEDED(getVersion(&info))) {
            foundMajor = info.dwMajorVersion;
            foundMinor = info.dwMinorVersion;
        }
    }
    if (major)
        *major = foundMajor;
    if (minor)
        *minor = foundMinor;
    return true;
}

bool xUtilReadLinkTimestamp(const void* image, size_t size, DWORD* stamp)
{
    const BYTE* bytes = static_cast<const BYTE*>(image);
    // The classic 248-byte NT header must be readable behind the DOS header's pointer.
    const size_t kNtHeaderSize = 248;
    if (!bytes || size < sizeof(IMAGE_DOS_HEADER))
        return false;
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, bytes, sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
        return false;
    size_t offset = static_cast<size_t>(dos.e_lfanew);
    if (offset > size || size - offset < kNtHeaderSize)
        return false;
    DWORD signature;
    memcpy(&signature, bytes + offset, sizeof signature);
    if (signature != IMAGE_NT_SIGNATURE)
        return false;
    IMAGE_FILE_HEADER header;
    memcpy(&header, bytes + offset + sizeof signature, sizeof header);
    if (stamp)
        *stamp = header.TimeDateStamp;
    return true;
}

bool xUtilGetModuleVersion(HMODULE module, tModuleVersion* out)
{
    if (!out)
        return false;
    memset(out, 0, sizeof *out);
    char path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return true;

    DWORD ignored = 0;
    DWORD infoSize = GetFileVersionInfoSizeA(path, &ignored);
    if (infoSize > 0) {
        std::vector<BYTE> info(infoSize);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        if (GetFileVersionInfoA(path, 0, infoSize, info.data()) &&
            VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
            fixed && fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
            out->major = HIWORD(fixed->dwFileVersionMS);
            out->minor = LOWORD(fixed->dwFileVersionMS);
            out->build = HIWORD(fixed->dwFileVersionLS);
        }
    }

    raii::CHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return true;
    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file.Get(), &fileSize))
        return true;
    raii::CHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return true;
    const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (!view)
        return true;
    DWORD stamp = 0;
    bool ok = xUtilReadLinkTimestamp(view, static_cast<size_t>(fileSize.QuadPart), &stamp);
    UnmapViewOfFile(view);
    if (!ok)
        return true;

    // Seconds since 1970 to a file time (100 ns since 1601), then to local time.
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(stamp) * 10000000ULL + 116444736000000000ULL;
    FILETIME utc = {ticks.LowPart, ticks.HighPart};
    FILETIME local;
    if (FileTimeToLocalFileTime(&utc, &local))
        FileTimeToSystemTime(&local, &out->linkDate);
    return true;
}
