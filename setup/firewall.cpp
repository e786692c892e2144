#include "setup/firewall.h"

#include <initguid.h>
#include <netfw.h>

#include <vector>

#include "common/raii.h"
#include "common/trace.h"

namespace setup {

namespace {

// A BSTR owned for one call.
class CBstr {
public:
    explicit CBstr(const std::string& text)
    {
        int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
        std::vector<WCHAR> wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
        m_text = SysAllocString(wide.data());
    }
    ~CBstr() { SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_text; }

private:
    BSTR m_text;
};

// The missing firewall: no class, or a list that is not implemented.
bool NoFirewall(HRESULT result)
{
    return result == REGDB_E_CLASSNOTREG || result == CO_E_CLASSSTRING || result == E_NOTIMPL;
}

HRESULT OpenApplications(raii::CComPtr<INetFwAuthorizedApplications>& applications)
{
    CLSID managerClass;
    HRESULT result = CLSIDFromProgID(L"HNetCfg.FwMgr", &managerClass);
    raii::CComPtr<INetFwMgr> manager;
    raii::CComPtr<INetFwPolicy> policy;
    raii::CComPtr<INetFwProfile> profile;
    if (SUCCEEDED(result))
        result = CoCreateInstance(managerClass, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwMgr, manager.ReceiveVoid());
    if (SUCCEEDED(result))
        result = manager->get_LocalPolicy(policy.Receive());
    if (SUCCEEDED(result))
        result = policy->get_CurrentProfile(profile.Receive());
    if (SUCCEEDED(result))
        result = profile->get_AuthorizedApplications(applications.Receive());
    return result;
}

HRESULT Settled(HRESULT result, const char* what, const std::string& program)
{
    if (SUCCEEDED(result)) {
        Trace("[setup] firewall: %s %s\n", what, program.c_str());
        return S_OK;
    }
    if (NoFirewall(result)) {
        Trace("[setup] no firewall list to %s %s (0x%08lx)\n", what, program.c_str(), static_cast<unsigned long>(result));
        return S_OK;
    }
    TraceHere("cannot %s %s in the firewall (0x%08lx)\n", what, program.c_str(), static_cast<unsigned long>(result));
    return result;
}

} // namespace

HRESULT CWindowsFirewall::Authorize(const std::string& name, const std::string& program)
{
    raii::CComPtr<INetFwAuthorizedApplications> applications;
    HRESULT result = OpenApplications(applications);
    CLSID applicationClass;
    raii::CComPtr<INetFwAuthorizedApplication> application;
    if (SUCCEEDED(result))
        result = CLSIDFromProgID(L"HNetCfg.FwAuthorizedApplication", &applicationClass);
    if (SUCCEEDED(result))
        result = CoCreateInstance(applicationClass, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwAuthorizedApplication,
                                  application.ReceiveVoid());
    CBstr image(program), title(name);
    if (SUCCEEDED(result))
        result = application->put_ProcessImageFileName(image.Get());
    if (SUCCEEDED(result))
        result = application->put_Name(title.Get());
    if (SUCCEEDED(result))
        result = application->put_Enabled(VARIANT_TRUE);
    if (SUCCEEDED(result))
        result = applications->Add(application.Get());
    return Settled(result, "authorise", program);
}

HRESULT CWindowsFirewall::Remove(const std::string& program)
{
    raii::CComPtr<INetFwAuthorizedApplications> applications;
    HRESULT result = OpenApplications(applications);
    CBstr image(program);
    if (SUCCEEDED(result))
        result = applications->Remove(image.Get());
    // A program that was never authorised is as removed as it gets.
    if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        result = S_OK;
    return Settled(result, "remove", program);
}

} // namespace setup
