#include "plugins/dialtrack/ras_conn_list.h"

#include <string.h>

#include <new>

#include "common/trace.h"

namespace {

// The RAS errors after which the enumeration is tried again.
const DWORD kBufferTooSmall = 603;
const DWORD kBufferInvalid = 610;
const DWORD kInvalidSize = 632;

} // namespace

CRASVersion::CRASVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!DialApi().GetVersionExA(&info))
        return; // a system that cannot say what it is is taken for a current one
    m_oldRas = info.dwMajorVersion < 5;
    m_windows2000 = info.dwMajorVersion == 5 && info.dwMinorVersion == 0;
}

tRasEntryForm CRASVersion::EntryForm() const
{
    return m_oldRas ? RAS_ENTRY_OLD : m_windows2000 ? RAS_ENTRY_W2K : RAS_ENTRY_LATER;
}

CRASConnList::CRASConnList(const CRASVersion& version)
    : m_layout(NativeRasEntryLayout(version.EntryForm()))
{
    Enumerate(version);
}

CRASConnList::CRASConnList(const CRASVersion& version, const tRasEntryLayout& layout) : m_layout(layout)
{
    Enumerate(version);
}

void CRASConnList::Enumerate(const CRASVersion& version)
{
    // The buffer starts with room for one entry of the latest form the system knows.
    const size_t stride = m_layout.stride;
    DWORD size = static_cast<DWORD>(version.IsOldRas() ? stride : NativeRasEntryLayout(RAS_ENTRY_LATER).stride);
    size = size < stride ? static_cast<DWORD>(stride) : size;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        try {
            m_entries.assign(size, 0);
        } catch (const std::bad_alloc&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            break;
        }
        DWORD entrySize = static_cast<DWORD>(stride);
        memcpy(m_entries.data(), &entrySize, sizeof entrySize);
        DWORD bytes = size;
        DWORD count = 0;
        error = DialApi().RasEnumConnectionsA(reinterpret_cast<LPRASCONNA>(m_entries.data()), &bytes, &count);
        if (error == 0) {
            DWORD room = static_cast<DWORD>(m_entries.size() / stride);
            m_count = count < room ? count : room;
            return;
        }
        bool again = error == kBufferTooSmall || (version.IsOldRas() && error == kBufferInvalid) ||
                     (!version.IsOldRas() && error == kInvalidSize);
        if (!again)
            break;
        // The size RAS asks for, within reason.
        DWORD largest = static_cast<DWORD>(kMaxEntries * stride);
        size = bytes > largest ? largest : bytes < stride ? static_cast<DWORD>(stride) : bytes;
    }
    TraceVerbose("RasEnumConnections failed: %lu\n", error);
    m_error = error;
    m_entries.clear();
    m_count = 0;
}

std::string CRASConnList::Text(DWORD index, size_t offset, size_t size) const
{
    if (index >= m_count)
        return std::string();
    const char* field = reinterpret_cast<const char*>(m_entries.data() + index * m_layout.stride + offset);
    return std::string(field, strnlen(field, size));
}

std::string CRASConnList::GetEntryName(DWORD index) const
{
    return Text(index, m_layout.entryNameOffset, kRasMaxEntryName + 1);
}

std::string CRASConnList::GetDeviceName(DWORD index) const
{
    return Text(index, m_layout.deviceNameOffset, kRasMaxDeviceName + 1);
}

std::string CRASConnList::GetDeviceType(DWORD index) const
{
    return Text(index, m_layout.deviceTypeOffset, kRasMaxDeviceType + 1);
}

HRASCONN CRASConnList::GetHandle(DWORD index) const
{
    if (index >= m_count)
        return nullptr;
    uint64_t value = 0;
    memcpy(&value, m_entries.data() + index * m_layout.stride + m_layout.handleOffset, m_layout.handleSize);
    return reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(value));
}
