#include "plugins/dialtrack/tapi_call.h"

#include <stddef.h>
#include <string.h>

namespace {

// No record the plug-in reads comes near this; a larger dwNeededSize is not believed.
const DWORD kMaxTapiRecord = 64 * 1024;

struct tVarHeader {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
};

} // namespace

std::vector<BYTE> ReadTapiRecord(DWORD startSize, int maxCalls, const std::function<LONG(void* record)>& call)
{
    DWORD size = startSize < sizeof(tVarHeader) ? static_cast<DWORD>(sizeof(tVarHeader)) : startSize;
    for (int calls = 0; calls < maxCalls; ++calls) {
        std::vector<BYTE> record(size, 0);
        tVarHeader header = {size, 0, 0};
        memcpy(record.data(), &header, sizeof header);
        if (call(record.data()) != 0)
            return {};
        memcpy(&header, record.data(), sizeof header);
        if (header.dwNeededSize <= size)
            return record;
        if (header.dwNeededSize > kMaxTapiRecord)
            return {};
        size = header.dwNeededSize;
    }
    return {};
}

DWORD TapiRecordWord(const std::vector<BYTE>& record, size_t offset)
{
    DWORD value = 0;
    if (offset + sizeof value <= record.size())
        memcpy(&value, record.data() + offset, sizeof value);
    return value;
}

CTapiCall::~CTapiCall()
{
    if (m_call)
        DialApi().lineDeallocateCall(m_call);
}

void CTapiCall::RefreshStatus()
{
    HCALL call = m_call;
    m_status = ReadTapiRecord(312, 2, [call](void* record) {
        return DialApi().lineGetCallStatus(call, static_cast<LPLINECALLSTATUS>(record));
    });
}

void CTapiCall::RefreshInfo()
{
    HCALL call = m_call;
    m_info = ReadTapiRecord(2372, 2, [call](void* record) {
        return DialApi().lineGetCallInfoA(call, static_cast<LPLINECALLINFO>(record));
    });
}

DWORD CTapiCall::GetOrigin() const
{
    if (m_info.size() < offsetof(LINECALLINFO, dwOrigin) + sizeof(DWORD))
        return LINECALLORIGIN_UNKNOWN;
    return TapiRecordWord(m_info, offsetof(LINECALLINFO, dwOrigin));
}

DWORD CTapiCall::GetCallState() const
{
    return TapiRecordWord(m_status, offsetof(LINECALLSTATUS, dwCallState));
}
