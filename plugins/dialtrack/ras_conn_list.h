// Remote Access Service as the plug-in sees it: which system family it runs on, and snapshots
// of the active connections.
#pragma once

#include <string>
#include <vector>

#include "plugins/dialtrack/dial_api.h"
#include "plugins/dialtrack/ras_layout.h"

// Two facts about the system, read once from GetVersionExA: old RAS is the first RAS generation
// (major version below 5: Windows 95, 98, Me and NT 4), which keeps its byte counters in the
// dynamic registry; Windows 2000 (5.0) has its own entry size.
class CRASVersion {
public:
    CRASVersion();
    CRASVersion(bool oldRas, bool windows2000) : m_oldRas(oldRas), m_windows2000(windows2000) {}

    bool IsOldRas() const { return m_oldRas; }
    bool IsWindows2000() const { return m_windows2000; }
    tRasEntryForm EntryForm() const;

private:
    bool m_oldRas = false;
    bool m_windows2000 = false;
};

// One snapshot of RasEnumConnectionsA. An index at or beyond the count reads as an empty text
// or a null handle; a snapshot that could not be taken is empty.
class CRASConnList {
public:
    // A RAS answer beyond this many connections is not believed.
    static constexpr DWORD kMaxEntries = 256;

    explicit CRASConnList(const CRASVersion& version);
    CRASConnList(const CRASVersion& version, const tRasEntryLayout& layout);

    DWORD GetCount() const { return m_count; }
    DWORD GetError() const { return m_error; }
    std::string GetEntryName(DWORD index) const;
    std::string GetDeviceName(DWORD index) const;
    std::string GetDeviceType(DWORD index) const;
    HRASCONN GetHandle(DWORD index) const;

private:
    void Enumerate(const CRASVersion& version);
    std::string Text(DWORD index, size_t offset, size_t size) const;

    tRasEntryLayout m_layout;
    std::vector<BYTE> m_entries;
    DWORD m_count = 0;
    DWORD m_error = 0;
};
