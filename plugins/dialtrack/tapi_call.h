// TAPI calls, and the one rule by which the plug-in reads TAPI's variable-size records.
#pragma once

#include <functional>
#include <vector>

#include "plugins/dialtrack/dial_api.h"

// Grow and retry: a record of `startSize` bytes with dwTotalSize set is offered to `call`; when
// TAPI needs more (dwNeededSize above dwTotalSize) it is offered again at that size, up to
// `maxCalls` calls in all. Empty when a call fails, TAPI still needs more after the last call,
// or asks for more than any record of these kinds can hold.
std::vector<BYTE> ReadTapiRecord(DWORD startSize, int maxCalls, const std::function<LONG(void* record)>& call);

// A TAPI record's DWORD at a byte offset, 0 when the record is shorter.
DWORD TapiRecordWord(const std::vector<BYTE>& record, size_t offset);

// One call of a TAPI line, with private copies of its status and information.
class CTapiCall {
public:
    explicit CTapiCall(HCALL call) : m_call(call) {}
    // Hands the call back to TAPI (lineDeallocateCall) when there is one.
    virtual ~CTapiCall();
    CTapiCall(const CTapiCall&) = delete;
    CTapiCall& operator=(const CTapiCall&) = delete;

    HCALL GetCallHandle() const { return m_call; }
    // lineGetCallStatus: 312 bytes first, one retry.
    void RefreshStatus();
    // lineGetCallInfoA: 2372 bytes first, one retry.
    void RefreshInfo();
    // LINECALLINFO's dwOrigin, or LINECALLORIGIN_UNKNOWN without information.
    DWORD GetOrigin() const;
    // LINECALLSTATUS's dwCallState, 0 without status.
    DWORD GetCallState() const;

protected:
    HCALL m_call;
    std::vector<BYTE> m_status;
    std::vector<BYTE> m_info;
};
