// The statistics side of the plug-in: the listener that logs every finished call, and the
// overview item with this month's totals.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "plugins/dialtrack/connection.h"
#include "plugins/dialtrack/monthly_totals.h"
#include "plugins/dialtrack/plugin_base.h"
#include "plugins/dialtrack/statistics_files.h"

// The record of a finished call: its duration in whole seconds, its end as the connection's end
// time and its start that many milliseconds before, its name as the files store it.
CCallRecord MakeCallRecord(CRASConnection& connection);

// Listener of every connection: when one ends, its call goes to the files and `written` is told.
class CStatisticInfo : public CConnectionListener {
public:
    CStatisticInfo(CStatisticFiles& files, std::function<void()> written)
        : m_files(files), m_written(std::move(written)) {}

    void OnConnected(CRASConnection&) override {}
    void OnDisconnected(CRASConnection& connection) override { WriteCallDataToFile(connection); }
    void WriteCallDataToFile(CRASConnection& connection);

private:
    CStatisticFiles& m_files;
    std::function<void()> m_written;
};

// "Connection monitor (<month>)" with the month's duration, sent, received and total data as its
// four children. The figures are those of the current local month over all entry names.
class CStatisticOverview : public CValueProvider {
public:
    CStatisticOverview(HINSTANCE instance, CStatisticFiles& files);
    const char* GetTypeName() const override { return "CStatisticOverview"; }

    // The host's refresh recomputes; so does any notification after the totals were reloaded or
    // the month has turned, so a finished call shows without waiting for a refresh.
    void Notify(tNotification notification, bool afterChildren, CItem& item) override;
    // Reads the monthly entries from "stats.log" again.
    void Reload();
    void Recompute(CItem& item);
    // The children the overview item is made with, in order.
    static void AddChildren(CPluginBase& plugin, CItem& overview, HINSTANCE instance);
    const std::vector<tMonthlyEntry>& GetEntries() const { return m_entries; }

private:
    HINSTANCE m_instance;
    CStatisticFiles& m_files;
    std::vector<tMonthlyEntry> m_entries;
    bool m_stale = true;
    tMonth m_shownMonth;
};
