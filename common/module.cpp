#include "common/module.h"

#include <string.h>

#include <vector>

std::string xUtilGetModulePath(HMODULE module)
{
    std::vector<char> name(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return std::string();
        if (length < name.size())
            return std::string(name.data(), length);
        if (name.size() >= 32768)
            return std::string();
        name.resize(name.size() * 2);
    }
}

std::string xUtilGetModuleFolder(HMODULE module)
{
    std::string path = xUtilGetModulePath(module);
    std::string::size_type slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

HMODULE xUtilModuleOfAddress(const void* address)
{
    HMODULE module = nullptr;
    // A null name would ask for the program itself.
    if (!address)
        return nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &module))
        return nullptr;
    return module;
}

std::string xUtilPathBesideModule(HMODULE module, const char* fileName)
{
    std::string folder = xUtilGetModuleFolder(module);
    if (folder.empty())
        return std::string();
    return folder + "\\" + fileName;
}

bool CDllBinding::Load(const char* dllName)
{
    m_module.Close();
    bool bare = strpbrk(dllName, "\\/:") == nullptr;
    HMODULE module = bare ? LoadLibraryExA(dllName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                          : LoadLibraryA(dllName);
    if (!module && bare && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems without the safe search flags: the system folder's full path instead.
        char system[MAX_PATH];
        UINT length = GetSystemDirectoryA(system, sizeof system);
        if (length > 0 && length < sizeof system)
            module = LoadLibraryA((std::string(system) + "\\" + dllName).c_str());
    }
    m_module.Attach(module);
    return module != nullptr;
}

FARPROC CDllBinding::Find(const char* exportName) const
{
    return m_module ? GetProcAddress(m_module.Get(), exportName) : nullptr;
}
