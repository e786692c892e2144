// Where a module lives, and late binding of DLL exports.
#pragma once

#include <windows.h>

#include <string>

#include "common/raii.h"

// The full path of a module (nullptr: the program); empty when the system cannot tell.
std::string xUtilGetModulePath(HMODULE module);
// The folder of that path, without the trailing "\".
std::string xUtilGetModuleFolder(HMODULE module);
// The module whose image holds the given address: a DLL finds itself with its own code.
HMODULE xUtilModuleOfAddress(const void* address);
// A file beside the module: the module's folder, "\", the name.
std::string xUtilPathBesideModule(HMODULE module, const char* fileName);

// A DLL loaded for a while, and its exports bound by name. Used where a program must run
// without the DLL (an optional system component) or must reach it through a table that tests
// replace.
class CDllBinding {
public:
    CDllBinding() = default;
    // Loads the DLL. A bare name is looked for in the system folder only, never in the
    // current folder, so a planted DLL of the same name is not picked up.
    explicit CDllBinding(const char* dllName) { Load(dllName); }

    bool Load(const char* dllName);
    bool IsLoaded() const { return m_module.IsValid(); }
    HMODULE Get() const { return m_module.Get(); }
    void Unload() { m_module.Close(); }

    // Binds one export; false (and the function pointer set to null) when it is missing.
    template <class F>
    bool Bind(F& function, const char* exportName) const
    {
        function = reinterpret_cast<F>(Find(exportName));
        return function != nullptr;
    }

private:
    FARPROC Find(const char* exportName) const;

    raii::CModule m_module;
};
