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

} // namespace testsupport
