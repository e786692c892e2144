// The plug-in's TAPI application and its line devices. The plug-in opens no line; the lines'
// names tell which RAS device is which modem, and their calls (when TAPI reports any) are
// matched to RAS connections.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugins/dialtrack/connection.h"

class CTapiLine {
public:
    // Negotiates the API version (1.0 to 2.2) and reads the line's capabilities.
    CTapiLine(HLINEAPP app, DWORD device, const CRASVersion& version);
    // lineClose on an open line; the capabilities and calls go with the object.
    ~CTapiLine();
    CTapiLine(const CTapiLine&) = delete;
    CTapiLine& operator=(const CTapiLine&) = delete;

    DWORD GetDevice() const { return m_device; }
    // Empty when the version or the capabilities could not be read: such a line matches no device.
    const std::string& GetName() const { return m_name; }
    HLINE GetLineHandle() const { return m_line; }

    // Line-level messages (address and line state, device-specific, close): they change nothing
    // the plug-in shows.
    void OnLineMessage(const LINEMESSAGE& message);
    // LINE_APPNEWCALL: a call of this line.
    void OnNewCall(HCALL call);
    // lineGetNewCalls: every call TAPI has for this line that is not known yet.
    void FetchNewCalls();

    CRASConnection* FindCall(HCALL call) const;
    // The call is gone: destroyed, which ends its connection.
    void RemoveCall(HCALL call);
    // Calls from the oldest to the newest.
    const std::vector<std::unique_ptr<CRASConnection>>& GetCalls() const { return m_calls; }

private:
    HLINEAPP m_app;
    DWORD m_device;
    CRASVersion m_version;
    DWORD m_apiVersion = 0;
    HLINE m_line = 0;
    std::vector<BYTE> m_caps;
    std::string m_name;
    std::vector<std::unique_ptr<CRASConnection>> m_calls;
};

class CTapiLineApp {
public:
    CTapiLineApp() = default;
    ~CTapiLineApp() { Shutdown(); }
    CTapiLineApp(const CTapiLineApp&) = delete;
    CTapiLineApp& operator=(const CTapiLineApp&) = delete;

    // lineInitializeExA with event notification and API version 2.2; false leaves no lines.
    bool Initialize(HINSTANCE instance, const std::string& appName);
    // lineShutdown, when initialised.
    void Shutdown();

    bool IsInitialized() const { return m_app != 0; }
    HLINEAPP GetApp() const { return m_app; }
    HANDLE GetEvent() const { return m_event; }
    DWORD GetDeviceCount() const { return m_devices; }
    // One message, if one is waiting (lineGetMessage without waiting).
    bool GetMessage(LINEMESSAGE& message) const;

private:
    HLINEAPP m_app = 0;
    HANDLE m_event = nullptr; // TAPI's, closed by lineShutdown
    DWORD m_devices = 0;
};
