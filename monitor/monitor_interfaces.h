// What the monitor window may ask of the monitor core. The window is built against these two
// small interfaces, not against CMonitor, so it can be driven in tests by a stand-in.
#pragma once

#include <string>

class IMonitor {
public:
    virtual bool SharedOptionsEnabled() = 0;
    virtual void SignalChange() = 0;
    virtual void KickstartBroadcast() = 0;

protected:
    ~IMonitor() = default;
};

class IPluginControl {
public:
    virtual bool DisablePlugin(const std::string& name) = 0;
    virtual bool EnablePlugin(const std::string& name) = 0;

protected:
    ~IPluginControl() = default;
};
