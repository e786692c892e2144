#include "plugins/dialtrack/tapi_line.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>

#include "common/trace.h"

CTapiLine::CTapiLine(HLINEAPP app, DWORD device, const CRASVersion& version)
    : m_app(app), m_device(device), m_version(version)
{
    LINEEXTENSIONID extension = {};
    if (DialApi().lineNegotiateAPIVersion(app, device, 0x00010000, 0x00020002, &m_apiVersion, &extension) != 0) {
        TraceVerbose("lineNegotiateAPIVersion failed for line %lu\n", device);
        return;
    }
    DWORD apiVersion = m_apiVersion;
    m_caps = ReadTapiRecord(268, 5, [app, device, apiVersion](void* record) {
        return DialApi().lineGetDevCapsA(app, device, apiVersion, 0, static_cast<LPLINEDEVCAPS>(record));
    });
    DWORD size = TapiRecordWord(m_caps, offsetof(LINEDEVCAPS, dwLineNameSize));
    DWORD offset = TapiRecordWord(m_caps, offsetof(LINEDEVCAPS, dwLineNameOffset));
    // A name that does not lie inside the record's variable part is no name.
    const size_t header = 3 * sizeof(DWORD);
    if (size > 0 && offset >= header && offset <= m_caps.size() && size <= m_caps.size() - offset) {
        const char* text = reinterpret_cast<const char*>(m_caps.data() + offset);
        m_name.assign(text, strnlen(text, size));
    }
}

CTapiLine::~CTapiLine()
{
    m_calls.clear();
    if (m_line)
        DialApi().lineClose(m_line);
}

void CTapiLine::OnLineMessage(const LINEMESSAGE& message)
{
    TraceVerbose("line %lu: message %lu\n", m_device, message.dwMessageID);
    (void)message;
}

void CTapiLine::OnNewCall(HCALL call)
{
    if (!call || FindCall(call))
        return;
    auto connection = std::make_unique<CRASConnection>(m_version, call);
    connection->RefreshInfo();
    connection->RefreshStatus();
    m_calls.push_back(std::move(connection));
}

void CTapiLine::FetchNewCalls()
{
    if (!m_line)
        return;
    HLINE line = m_line;
    std::vector<BYTE> list = ReadTapiRecord(64, 2, [line](void* record) {
        return DialApi().lineGetNewCalls(line, 0, LINECALLSELECT_LINE, static_cast<LPLINECALLLIST>(record));
    });
    DWORD count = TapiRecordWord(list, offsetof(LINECALLLIST, dwCallsNumEntries));
    DWORD offset = TapiRecordWord(list, offsetof(LINECALLLIST, dwCallsOffset));
    for (DWORD i = 0; i < count; ++i) {
        size_t at = offset + static_cast<size_t>(i) * sizeof(HCALL);
        if (offset < sizeof(LINECALLLIST) || at + sizeof(HCALL) > list.size())
            break;
        HCALL call;
        memcpy(&call, list.data() + at, sizeof call);
        OnNewCall(call);
    }
}

CRASConnection* CTapiLine::FindCall(HCALL call) const
{
    for (const auto& connection : m_calls)
        if (connection->GetCallHandle() == call)
            return connection.get();
    return nullptr;
}

void CTapiLine::RemoveCall(HCALL call)
{
    auto it = std::find_if(m_calls.begin(), m_calls.end(),
                           [call](const std::unique_ptr<CRASConnection>& c) { return c->GetCallHandle() == call; });
    if (it == m_calls.end())
        return;
    std::unique_ptr<CRASConnection> gone = std::move(*it);
    m_calls.erase(it);
}

bool CTapiLineApp::Initialize(HINSTANCE instance, const std::string& appName)
{
    LINEINITIALIZEEXPARAMS parameters = {};
    parameters.dwTotalSize = sizeof parameters; // 24 bytes in a 32-bit build
    parameters.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    DWORD apiVersion = 0x00020002;
    DWORD devices = 0;
    HLINEAPP app = 0;
    LONG result = DialApi().lineInitializeExA(&app, instance, nullptr, appName.c_str(), &devices, &apiVersion, &parameters);
    if (result != 0) {
        TraceVerbose("lineInitializeEx failed: 0x%lx\n", static_cast<unsigned long>(result));
        return false;
    }
    m_app = app;
    m_event = parameters.Handles.hEvent;
    // Far more lines than any machine has are not believed.
    m_devices = devices > 256 ? 256 : devices;
    return true;
}

void CTapiLineApp::Shutdown()
{
    if (!m_app)
        return;
    DialApi().lineShutdown(m_app);
    m_app = 0;
    m_event = nullptr;
    m_devices = 0;
}

bool CTapiLineApp::GetMessage(LINEMESSAGE& message) const
{
    return m_app && DialApi().lineGetMessage(m_app, &message, 0) == 0;
}
