// The Windows Firewall's list of authorised applications, behind a seam: the pipeline talks
// to IFirewall; the program uses the real COM objects, tests a fake that keeps a list.
#pragma once

#include <windows.h>

#include <string>

namespace setup {

class IFirewall {
public:
    virtual ~IFirewall() = default;
    // S_OK when the program is authorised (or no firewall of that kind exists).
    virtual HRESULT Authorize(const std::string& name, const std::string& program) = 0;
    virtual HRESULT Remove(const std::string& program) = 0;
};

// "HNetCfg.FwMgr" and "HNetCfg.FwAuthorizedApplication". Systems without that firewall (and
// firewalls that do not implement the list) have nothing to authorise: that is no failure.
// The calling thread must have COM initialised.
class CWindowsFirewall : public IFirewall {
public:
    HRESULT Authorize(const std::string& name, const std::string& program) override;
    HRESULT Remove(const std::string& program) override;
};

} // namespace setup
