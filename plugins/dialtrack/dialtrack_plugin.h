// The dial-up status plug-in: one top item per active dial-up connection (its name, device,
// duration and two rates), the overview item with this month's totals, the call log written
// when a connection ends, and the statistics window. Everything but the window runs inside
// GetState on the monitor's worker thread for this plug-in.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "plugins/dialtrack/plugin_base.h"
#include "plugins/dialtrack/statistics.h"
#include "plugins/dialtrack/statistics_files.h"
#include "plugins/dialtrack/tapi_line.h"

class CStatisticsWindow;

class CDialtrackPlugin : public CPluginBase {
public:
    static constexpr DWORD kTimeoutMs = 1000;

    // `folder`: where "connection.csv" and "stats.log" live (the monitor program's folder).
    CDialtrackPlugin(HINSTANCE instance, CState& tree, const std::string& folder, DWORD timeoutMs = kTimeoutMs);
    // Closes the statistics window, ends every connection (so its call is logged), removes the
    // items, shuts TAPI down and releases the lines.
    ~CDialtrackPlugin() override;

    // TAPI, the lines, the overview when there are statistics, and the connections of now.
    void Initialize();
    // Every time-out: connections that have gone end and lose their items, new ones get items.
    void SyncConnections();
    void AddConnection(const CRASConnList& list, DWORD index);

    // From the monitor's window thread (row menus). Both only hand the work on: the hang-up to
    // the next wake-up of GetState, the statistics window to a thread of its own.
    void RequestHangUp(int32_t itemId);
    void ShowStatistics();

    CStatisticFiles& GetFiles() { return m_files; }
    CStatisticsWindow& GetStatisticsWindow() { return *m_window; }
    int32_t GetOverviewId() const { return m_overviewId; }

protected:
    void OnTimeout() override { SyncConnections(); }
    void HandleSignaled(HANDLE handle) override;

private:
    struct tLineSet {
        std::vector<std::unique_ptr<CTapiLine>> lines;
        std::map<HRASCONN, std::unique_ptr<CRASConnection>> rasOnly;
    };

    void CreateOverview();
    void RecomputeOverview();
    void AddConnectionChildren(CItem& top, CRASConnection* connection);
    void DispatchTapiMessage(const LINEMESSAGE& message);
    void CarryOutHangUps();
    void OnCallWritten();
    void EndAllConnections();

    HINSTANCE m_instance;
    CRASVersion m_version;
    CStatisticFiles m_files;
    CStatisticInfo m_statisticInfo;
    CTapiLineApp m_tapi;
    std::unique_ptr<tLineSet> m_lineSet;
    CStatisticOverview* m_overview = nullptr; // the overview item's provider, once it exists
    int32_t m_overviewId = 0;
    tItemActions m_connectionActions;
    tItemActions m_overviewActions;
    raii::CHandle m_hangUpEvent;
    raii::CHandle m_statisticsEvent; // the statistics window changed the files
    raii::CCriticalSection m_hangUpLock;
    std::vector<int32_t> m_hangUps;
    std::unique_ptr<CStatisticsWindow> m_window;
};

// The module's side of the plug-in exports.
void DialtrackAttach(HINSTANCE instance);
void DialtrackDetach(bool processEnding);
CState* DialtrackGetState(HANDLE cancel, HANDLE refresh);
void DialtrackCleanup();

// For tests and benchmarks: the folder of the statistics files (default: the monitor program's
// folder) and the wait time-out (default 1000 ms) of plug-ins created from now on.
void DialtrackSetFolder(const std::string& folder);
void DialtrackSetTimeout(DWORD timeoutMs);
// The plug-in of this module, none before the first GetState and after Cleanup.
CDialtrackPlugin* DialtrackPlugin();
