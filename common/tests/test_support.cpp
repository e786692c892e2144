#include "common/tests/test_support.h"

#include <shellapi.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace {
std::atomic<unsigned> g_counter{0};

void RemoveTree(const std::string& path)
{
    // SHFileOperation wants a double-zero-terminated list.
    std::string from = path;
    from.push_back('\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}
} // namespace

CTempDir::CTempDir()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    m_path = std::string(temp) + "velmora-test-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(g_counter++);
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

CTempDir::~CTempDir()
{
    RemoveTree(m_path);
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(5);
    }
    return true;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.rfind('\\'));
}

bool DisplayRequired()
{
    char value[8] = "";
    return GetEnvironmentVariableA("VELMORA_DISPLAY_REQUIRED", value, sizeof value) > 0 &&
           value[0] == '1';
}

bool HaveDisplay()
{
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        return false;
    DestroyWindow(probe);
    return true;
}

CTestKey::CTestKey(HKEY root, const std::string& path) : m_root(root), m_path(path)
{
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
}

CTestKey::~CTestKey()
{
    if (m_key)
        RegCloseKey(m_key);
    RegDeleteTreeA(m_root, m_path.c_str());
    RegDeleteKeyA(m_root, m_path.c_str());
}

void CTestKey::SetString(const char* name, const std::string& value, DWORD type)
{
    RegSetValueExA(m_key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

void CTestKey::SetDword(const char* name, DWORD value)
{
    RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

} // namespace testsupport
