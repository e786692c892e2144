#include "plugins/dialtrack/dialtrack_plugin.h"

#include <string.h>

#include <algorithm>

#include "common/module.h"
#include "common/strings.h"
#include "common/trace.h"
#include "plugins/dialtrack/providers.h"
#include "plugins/dialtrack/res/dialtrack_resource.h"
#include "plugins/dialtrack/statistics_window.h"

namespace {

// What the exports share: the module instance, the tree the monitor reads (it outlives the
// plug-in object, which Cleanup destroys) and the plug-in. The lock keeps the row menu
// callbacks, which run on the monitor's window thread, from meeting a plug-in that goes.
struct tModule {
    HINSTANCE instance = nullptr;
    CState* tree = nullptr;
    std::unique_ptr<CDialtrackPlugin> plugin;
    raii::CCriticalSection lock;
    std::string folder;
    DWORD timeoutMs = CDialtrackPlugin::kTimeoutMs;
};

tModule& Module()
{
    static tModule module;
    return module;
}

void HangUpAction(HWND, int32_t id, bool*)
{
    tModule& module = Module();
    raii::CLock lock(module.lock);
    if (module.plugin)
        module.plugin->RequestHangUp(id);
}

void ShowStatisticsAction(HWND, int32_t, bool*)
{
    tModule& module = Module();
    raii::CLock lock(module.lock);
    if (module.plugin)
        module.plugin->ShowStatistics();
}

} // namespace

CDialtrackPlugin::CDialtrackPlugin(HINSTANCE instance, CState& tree, const std::string& folder, DWORD timeoutMs)
    : CPluginBase(tree, timeoutMs),
      m_instance(instance),
      m_files(folder),
      m_statisticInfo(m_files, [this] { OnCallWritten(); }),
      m_hangUpEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_statisticsEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    m_connectionActions = {{xUtilLoadString(instance, IDS_DISCONNECT), HangUpAction}};
    m_overviewActions = {{xUtilLoadString(instance, IDS_SHOW_STATISTICS), ShowStatisticsAction}};
    m_window = std::make_unique<CStatisticsWindow>(instance, m_files, m_statisticsEvent.Get());
    if (m_tapi.Initialize(instance, xUtilLoadString(instance, IDS_APP_NAME)))
        TraceVerbose("TAPI offers %lu line devices\n", m_tapi.GetDeviceCount());
    Initialize();
}

CDialtrackPlugin::~CDialtrackPlugin()
{
    m_window->Close();
    EndAllConnections();
    RemoveAllItems();
    m_overview = nullptr;
    m_tapi.Shutdown();
    m_lineSet.reset();
}

void CDialtrackPlugin::Initialize()
{
    TraceVerbose("Entering CDialtrackPlugin::Initialize\n");
    m_lineSet = std::make_unique<tLineSet>();
    for (DWORD device = 0; device < m_tapi.GetDeviceCount(); ++device)
        m_lineSet->lines.push_back(std::make_unique<CTapiLine>(m_tapi.GetApp(), device, m_version));
    if (m_tapi.GetEvent())
        AddWaitHandle(m_tapi.GetEvent());
    AddWaitHandle(m_hangUpEvent.Get());
    AddWaitHandle(m_statisticsEvent.Get());
    if (m_files.StatsExistAndNotEmpty())
        CreateOverview();
    CRASConnList list(m_version);
    for (DWORD i = 0; i < list.GetCount(); ++i)
        AddConnection(list, i);
}

void CDialtrackPlugin::CreateOverview()
{
    if (m_overviewId)
        return;
    auto provider = std::make_unique<CStatisticOverview>(m_instance, m_files);
    CStatisticOverview* overview = provider.get();
    CItem* item = AddItem(nullptr, xUtilLoadString(m_instance, IDS_CONNECTION_MONITOR), 19, "", &m_overviewActions,
                          std::move(provider));
    CStatisticOverview::AddChildren(*this, *item, m_instance);
    overview->Recompute(*item);
    m_overview = overview;
    m_overviewId = item->GetId();
}

void CDialtrackPlugin::RecomputeOverview()
{
    if (CItem* item = m_overviewId ? FindItem(m_overviewId) : nullptr)
        m_overview->Recompute(*item);
}

void CDialtrackPlugin::SyncConnections()
{
    if (!m_lineSet)
        return;
    CRASConnList list(m_version);

    // Connections that left the enumeration end (and are logged).
    auto& rasOnly = m_lineSet->rasOnly;
    for (auto it = rasOnly.begin(); it != rasOnly.end();) {
        bool present = false;
        for (DWORD i = 0; i < list.GetCount() && !present; ++i)
            present = list.GetHandle(i) == it->first;
        if (present) {
            ++it;
        } else {
            std::unique_ptr<CRASConnection> gone = std::move(it->second);
            it = rasOnly.erase(it);
            gone->End();
        }
    }

    std::vector<int32_t> collected;
    for (CItem* item : GetTopItems()) {
        CValueProvider* provider = GetProvider(item);
        if (provider && strcmp(provider->GetTypeName(), "CDialtrack") == 0)
            collected.push_back(item->GetId());
    }
    for (DWORD i = 0; i < list.GetCount(); ++i) {
        // An item stands for an entry when it was made for that device and still follows that
        // connection: a device that hung up and dialled again within one second gets a new item.
        auto match = std::find_if(collected.begin(), collected.end(), [&](int32_t id) {
            CValueProvider* provider = GetProvider(FindItem(id));
            CRASConnection* connection = provider ? provider->GetConnection() : nullptr;
            return provider && provider->GetKey() == list.GetDeviceName(i) && connection &&
                   connection->GetHandle() == list.GetHandle(i);
        });
        if (match == collected.end()) {
            AddConnection(list, i);
            continue;
        }
        CItem* item = FindItem(*match);
        if (item->GetChildren().GetCount() == 1)
            AddConnectionChildren(*item, GetProvider(item)->GetConnection());
        collected.erase(match);
    }
    for (int32_t id : collected) {
        CItem* item = FindItem(id);
        CValueProvider* provider = item ? GetProvider(item) : nullptr;
        if (provider && !provider->GetConnection())
            RemoveItem(item);
    }
}

void CDialtrackPlugin::AddConnection(const CRASConnList& list, DWORD index)
{
    std::string key = list.GetDeviceName(index);
    std::string entryName = list.GetEntryName(index);
    HRASCONN handle = list.GetHandle(index);
    CTapiLine* line = nullptr;
    for (const auto& candidate : m_lineSet->lines)
        if (!candidate->GetName().empty() && candidate->GetName() == key) {
            line = candidate.get();
            break;
        }
    CreateOverview();

    CRASConnection* connection = nullptr;
    if (line) {
        const auto& calls = line->GetCalls();
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (!(*it)->GetHandle() && (*it)->GetOrigin() <= LINECALLORIGIN_OUTBOUND) {
                connection = it->get();
                connection->Assign(handle, entryName);
                connection->AddListener(&m_statisticInfo);
                connection->Connect();
                break;
            }
    }
    // Without a TAPI call to match (and as the plug-in opens no line, TAPI reports none) the
    // connection is followed through RAS alone; the matching line still names its device.
    if (!connection) {
        if (!handle)
            return;
        std::unique_ptr<CRASConnection>& slot = m_lineSet->rasOnly[handle];
        if (!slot || slot->IsEnded()) {
            slot = std::make_unique<CRASConnection>(m_version);
            slot->Assign(handle, entryName);
            slot->AddListener(&m_statisticInfo);
            slot->Connect();
        }
        connection = slot.get();
    }

    CItem* top = AddItem(nullptr, xUtilLoadString(m_instance, IDS_CONNECTION_NAME), 20, entryName,
                         &m_connectionActions, std::make_unique<CDialtrack>(key, connection));
    AddItem(top, key, ModelIcon(key), "", nullptr,
            std::make_unique<CDialtrackDevice>(key, list.GetDeviceType(index), connection, line));
    AddConnectionChildren(*top, connection);
}

void CDialtrackPlugin::AddConnectionChildren(CItem& top, CRASConnection* connection)
{
    AddItem(&top, xUtilLoadString(m_instance, IDS_DURATION), 18, "", &m_connectionActions,
            std::make_unique<CRASConnDurationInfo>(m_instance, connection));
    AddItem(&top, xUtilLoadString(m_instance, IDS_UPLOAD_RATE), 6, "", &m_connectionActions,
            std::make_unique<CUploadTraffic>(m_instance, connection));
    AddItem(&top, xUtilLoadString(m_instance, IDS_DOWNLOAD_RATE), 5, "", &m_connectionActions,
            std::make_unique<CDownloadTraffic>(m_instance, connection));
}

void CDialtrackPlugin::HandleSignaled(HANDLE handle)
{
    if (handle == m_hangUpEvent.Get()) {
        CarryOutHangUps();
    } else if (handle == m_statisticsEvent.Get()) {
        if (m_overview) {
            m_overview->Reload();
            RecomputeOverview();
        }
    } else if (handle == m_tapi.GetEvent()) {
        LINEMESSAGE message = {};
        if (m_tapi.GetMessage(message))
            DispatchTapiMessage(message);
    }
}

void CDialtrackPlugin::DispatchTapiMessage(const LINEMESSAGE& message)
{
    if (!m_lineSet)
        return;
    for (const auto& line : m_lineSet->lines)
        if (line->GetLineHandle() && line->GetLineHandle() == message.hDevice) {
            if (message.dwMessageID == LINE_APPNEWCALL)
                line->OnNewCall(static_cast<HCALL>(message.dwParam2));
            else
                line->OnLineMessage(message);
            return;
        }
    HCALL call = static_cast<HCALL>(message.hDevice);
    auto find = [&](CTapiLine*& owner) -> CRASConnection* {
        for (const auto& line : m_lineSet->lines)
            if (CRASConnection* found = line->FindCall(call)) {
                owner = line.get();
                return found;
            }
        return nullptr;
    };
    CTapiLine* owner = nullptr;
    CRASConnection* connection = find(owner);
    if (!connection) {
        for (const auto& line : m_lineSet->lines)
            line->FetchNewCalls();
        connection = find(owner);
        if (!connection)
            return;
    }
    if (message.dwMessageID == LINE_CALLINFO) {
        connection->RefreshInfo();
    } else if (message.dwMessageID == LINE_CALLSTATE) {
        connection->RefreshStatus();
        if (message.dwParam1 == LINECALLSTATE_IDLE)
            owner->RemoveCall(call);
    }
}

void CDialtrackPlugin::RequestHangUp(int32_t itemId)
{
    raii::CLock lock(m_hangUpLock);
    m_hangUps.push_back(itemId);
    SetEvent(m_hangUpEvent.Get());
}

void CDialtrackPlugin::CarryOutHangUps()
{
    std::vector<int32_t> ids;
    {
        raii::CLock lock(m_hangUpLock);
        ids.swap(m_hangUps);
    }
    for (int32_t id : ids) {
        CItem* item = FindItem(id);
        CValueProvider* provider = item ? GetProvider(item) : nullptr;
        if (CRASConnection* connection = provider ? provider->GetConnection() : nullptr)
            connection->HangUp();
    }
}

void CDialtrackPlugin::ShowStatistics()
{
    m_window->Open();
}

void CDialtrackPlugin::OnCallWritten()
{
    if (m_overview) {
        m_overview->Reload();
        RecomputeOverview();
    }
    m_window->DataChanged();
}

void CDialtrackPlugin::EndAllConnections()
{
    if (!m_lineSet)
        return;
    for (auto& entry : m_lineSet->rasOnly)
        entry.second->End();
    for (const auto& line : m_lineSet->lines)
        for (const auto& call : line->GetCalls())
            call->End();
}

void DialtrackAttach(HINSTANCE instance)
{
    Module().instance = instance;
    TraceVerbose("Dll has been attached\n");
}

void DialtrackDetach(bool processEnding)
{
    tModule& module = Module();
    // Cleanup normally went first. Without it, a plug-in whose statistics window still runs is
    // left alone: its thread cannot be joined under the loader lock.
    if (module.plugin && !processEnding && !module.plugin->GetStatisticsWindow().IsRunning())
        module.plugin.reset();
    else
        module.plugin.release();
    if (!processEnding) {
        delete module.tree;
        module.tree = nullptr;
    }
}

CState* DialtrackGetState(HANDLE cancel, HANDLE refresh)
{
    tModule& module = Module();
    CDialtrackPlugin* plugin;
    {
        raii::CLock lock(module.lock);
        plugin = module.plugin.get();
    }
    if (!plugin) {
        if (!module.tree)
            module.tree = new CState;
        std::string folder = module.folder.empty() ? xUtilGetModuleFolder(nullptr) : module.folder;
        auto created = std::make_unique<CDialtrackPlugin>(module.instance, *module.tree, folder, module.timeoutMs);
        TraceVerbose("Returned from InitPlugin()\n");
        raii::CLock lock(module.lock);
        module.plugin = std::move(created);
        plugin = module.plugin.get();
    }
    return plugin->RunWaitCycle(cancel, refresh);
}

void DialtrackCleanup()
{
    tModule& module = Module();
    std::unique_ptr<CDialtrackPlugin> plugin;
    {
        raii::CLock lock(module.lock);
        plugin = std::move(module.plugin);
    }
    plugin.reset();
}

void DialtrackSetFolder(const std::string& folder)
{
    Module().folder = folder;
}

void DialtrackSetTimeout(DWORD timeoutMs)
{
    Module().timeoutMs = timeoutMs;
}

CDialtrackPlugin* DialtrackPlugin()
{
    return Module().plugin.get();
}
