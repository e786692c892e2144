// Owners of system resources. Each owner is move-only: a copy would close its resource twice.
// All offer Get, Attach (closes what was held), Detach (gives up ownership without closing),
// Close and a validity test; a failed close is traced with the API's name and the error.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace raii {

void TraceCloseFailure(const char* api, unsigned long error);

template <class Traits>
class CUnique {
public:
    using value_type = typename Traits::value_type;

    CUnique() noexcept : m_value(Traits::Invalid()) {}
    explicit CUnique(value_type value) noexcept : m_value(value) {}
    ~CUnique() { Close(); }

    CUnique(const CUnique&) = delete;
    CUnique& operator=(const CUnique&) = delete;
    CUnique(CUnique&& other) noexcept : m_value(other.Detach()) {}
    CUnique& operator=(CUnique&& other) noexcept
    {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }

    value_type Get() const noexcept { return m_value; }
    bool IsValid() const noexcept { return Traits::IsValid(m_value); }
    explicit operator bool() const noexcept { return IsValid(); }

    void Attach(value_type value) noexcept
    {
        if (value == m_value)
            return;
        Close();
        m_value = value;
    }
    value_type Detach() noexcept { return std::exchange(m_value, Traits::Invalid()); }
    bool Close() noexcept
    {
        if (!IsValid())
            return true;
        bool ok = Traits::Close(m_value);
        m_value = Traits::Invalid();
        return ok;
    }

private:
    value_type m_value;
};

struct tHandleTraits {
    using value_type = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h)
    {
        if (CloseHandle(h))
            return true;
        TraceCloseFailure("CloseHandle", GetLastError());
        return false;
    }
};

struct tSocketTraits {
    using value_type = SOCKET;
    static SOCKET Invalid() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
    static bool Close(SOCKET s)
    {
        if (closesocket(s) == 0)
            return true;
        TraceCloseFailure("closesocket", static_cast<unsigned long>(WSAGetLastError()));
        return false;
    }
};

struct tModuleTraits {
    using value_type = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static bool Close(HMODULE h)
    {
        if (FreeLibrary(h))
            return true;
        TraceCloseFailure("FreeLibrary", GetLastError());
        return false;
    }
};

struct tRegKeyTraits {
    using value_type = HKEY;
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static bool Close(HKEY h)
    {
        LONG error = RegCloseKey(h);
        if (error == ERROR_SUCCESS)
            return true;
        TraceCloseFailure("RegCloseKey", static_cast<unsigned long>(error));
        return false;
    }
};

struct tGdiTraits {
    using value_type = HGDIOBJ;
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
    static bool Close(HGDIOBJ h)
    {
        if (DeleteObject(h))
            return true;
        TraceCloseFailure("DeleteObject", GetLastError());
        return false;
    }
};

struct tFindTraits {
    using value_type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static bool Close(HANDLE h)
    {
        if (FindClose(h))
            return true;
        TraceCloseFailure("FindClose", GetLastError());
        return false;
    }
};

// Kernel objects: files, events, threads, processes, mutexes, mappings; also WSAEVENTs,
// which are event handles.
using CHandle = CUnique<tHandleTraits>;
using CSocket = CUnique<tSocketTraits>;
using CModule = CUnique<tModuleTraits>;
using CRegKey = CUnique<tRegKeyTraits>;
using CGdiObject = CUnique<tGdiTraits>;
using CFindHandle = CUnique<tFindTraits>;

// A critical section and its scoped lock. The section cannot move: threads hold its address.
class CCriticalSection {
public:
    CCriticalSection() noexcept { InitializeCriticalSection(&m_section); }
    ~CCriticalSection() { DeleteCriticalSection(&m_section); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() noexcept { EnterCriticalSection(&m_section); }
    void Leave() noexcept { LeaveCriticalSection(&m_section); }
    bool TryEnter() noexcept { return TryEnterCriticalSection(&m_section) != FALSE; }

private:
    CRITICAL_SECTION m_section;
};

class CLock {
public:
    explicit CLock(CCriticalSection& section) noexcept : m_section(&section) { m_section->Enter(); }
    ~CLock() { Unlock(); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    // Leaves the section early, for callers that must not hold it across a blocking call.
    void Unlock() noexcept
    {
        if (m_section) {
            m_section->Leave();
            m_section = nullptr;
        }
    }

private:
    CCriticalSection* m_section;
};

// A COM interface pointer: releases on destruction, adds a reference on copy from a raw
// pointer only when asked to.
template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    ~CComPtr() { Release(); }
    CComPtr(const CComPtr& other) noexcept : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CComPtr& operator=(const CComPtr& other) noexcept
    {
        if (this != &other) {
            if (other.m_p)
                other.m_p->AddRef();
            Release();
            m_p = other.m_p;
        }
        return *this;
    }
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComPtr& operator=(CComPtr&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    // For out parameters of factory calls: releases what is held first.
    T** Receive() noexcept
    {
        Release();
        return &m_p;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }
    void Attach(T* p) noexcept
    {
        Release();
        m_p = p;
    }
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    void Release() noexcept
    {
        if (m_p)
            std::exchange(m_p, nullptr)->Release();
    }

    template <class U>
    HRESULT QueryInterface(REFIID iid, CComPtr<U>& out) const noexcept
    {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(iid, out.ReceiveVoid());
    }

private:
    T* m_p = nullptr;
};

// COM for the calling thread, for the lifetime of the object.
class CComInit {
public:
    explicit CComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_result(CoInitializeEx(nullptr, model)) {}
    ~CComInit()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;
    HRESULT Result() const noexcept { return m_result; }

private:
    HRESULT m_result;
};

// Winsock for the lifetime of the object (calls nest, as WSAStartup counts them).
class CWinsockInit {
public:
    CWinsockInit() noexcept
    {
        WSADATA data;
        m_error = WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~CWinsockInit()
    {
        if (m_error == 0)
            WSACleanup();
    }
    CWinsockInit(const CWinsockInit&) = delete;
    CWinsockInit& operator=(const CWinsockInit&) = delete;
    bool Ok() const noexcept { return m_error == 0; }

private:
    int m_error;
};

} // namespace raii
