#include "common/xutil.h"

#include <intshcut.h>
#include <isguids.h>
#include <shlobj.h>

#include <string>

#include "common/raii.h"
#include "common/trace.h"

bool SaveShortcut(IPersistFile* object, const char* path, const char* extension)
{
    if (!object || !path)
        return false;
    std::string fileName = std::string(path) + (extension ? extension : "");
    bool existed = GetFileAttributesA(fileName.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!existed) {
        for (std::string::size_type slash = fileName.find('\\'); slash != std::string::npos;
             slash = fileName.find('\\', slash + 1)) {
            std::string dir = fileName.substr(0, slash);
            if (!dir.empty() && CreateDirectoryA(dir.c_str(), nullptr))
                SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHA, dir.c_str(), nullptr);
        }
    }
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, fileName.c_str(), -1, wide, MAX_PATH) == 0) {
        TraceHere("pPersistFile->Save() failed!\n");
        return false;
    }
    if (FAILED(object->Save(wide, TRUE))) {
        TraceHere("pPersistFile->Save() failed!\n");
        return false;
    }
    SHChangeNotify(existed ? SHCNE_UPDATEITEM : SHCNE_CREATE, SHCNF_PATHA, fileName.c_str(),
                   nullptr);
    return true;
}

bool xUtilCreateShortcut(const char* linkPath, const char* target, const char* arguments,
                         const char* directory, const char* iconFile, int iconIndex)
{
    raii::CComInit com;
    raii::CComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.ReceiveVoid()))) {
        TraceHere("CoCreateInstance( IID_IShellLink ) failed!\n");
        return false;
    }
    if (target)
        link->SetPath(target);
    if (directory)
        link->SetWorkingDirectory(directory);
    if (arguments)
        link->SetArguments(arguments);
    if (iconFile)
        link->SetIconLocation(iconFile, iconIndex);
    raii::CComPtr<IPersistFile> persist;
    if (FAILED(link.QueryInterface(IID_IPersistFile, persist))) {
        TraceHere("pShellLink->QueryInterface( IID_IPersistFile ) failed!\n");
        return false;
    }
    return SaveShortcut(persist.Get(), linkPath, ".lnk");
}

bool xUtilCreateInternetShortcut(const char* linkPath, const char* address)
{
    raii::CComInit com;
    raii::CComPtr<IUniformResourceLocatorA> url;
    if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IUniformResourceLocatorA, url.ReceiveVoid()))) {
        TraceHere("CoCreateInstance( IID_IUniformResourceLocator ) failed!\n");
        return false;
    }
    if (address)
        url->SetURL(address, 0);
    raii::CComPtr<IPersistFile> persist;
    if (FAILED(url.QueryInterface(IID_IPersistFile, persist))) {
        TraceHere("pShellLink->QueryInterface( IID_IPersistFile ) failed!\n");
        return false;
    }
    return SaveShortcut(persist.Get(), linkPath, ".url");
}
