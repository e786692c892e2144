#include "plexaconf/wizard_model.h"

#include "common/trace.h"
#include "plexaconf/internal_adapter.h"

const char kAllowAll[] = "all";

std::string MacListText(const tMacAddress& address)
{
    return MacTraceText(address);
}

void AddToList(std::vector<tListedAdapter>& list, const tMacAddress& address, const std::string& securityId)
{
    for (tListedAdapter& listed : list)
        if (listed.address == address) {
            // A station the search saw, now known by its security ID (a local adapter that
            // answers a security ID stays what it is).
            if (!listed.local && !securityId.empty()) {
                listed.securityId = securityId;
                listed.hasDak = true;
                listed.dak = CPlexaEngine::PasswordToKey(securityId);
            }
            return;
        }
    tListedAdapter added;
    added.address = address;
    added.securityId = securityId;
    added.hasDak = !securityId.empty();
    if (added.hasDak)
        added.dak = CPlexaEngine::PasswordToKey(securityId);
    list.push_back(added);
}

CSearchProcedure::CSearchProcedure(CAdapterLayer& layer, CPlexaEngine& engine, CSecurityIdStore& store,
                                   const std::string& allow, const tSearchTimings& timings)
    : m_layer(layer), m_engine(engine), m_store(store), m_allow(allow), m_timings(timings)
{
}

tSearchOutcome CSearchProcedure::Run(const std::function<void(int)>& progress, const std::function<void()>& stopMonitor,
                                     const std::function<void()>& storedIdsFound, bool checkStoredIds)
{
    tSearchOutcome outcome;
    progress(0);
    stopMonitor();
    progress(5);
    std::vector<std::string> ids = m_store.Read();
    progress(ids.empty() ? 90 : 50);

    m_layer.StartSearch(m_timings.rounds, m_timings.firstRound);
    m_layer.WaitFirstResult(m_timings.firstResultMs);
    Sleep(m_timings.settleMs);

    for (const std::shared_ptr<CInternalAdapter>& adapter : m_layer.Adapters()) {
        for (const std::shared_ptr<CLocalPlexaAdapter>& local : adapter->LocalAdapters()) {
            outcome.locals.push_back(local->Address());
            if (outcome.list.empty()) {
                tListedAdapter listed;
                listed.address = local->Address();
                listed.local = true;
                outcome.list.push_back(listed);
            }
        }
        for (const tMacAddress& station : adapter->Stations())
            AddToList(outcome.list, station, std::string());
    }
    // Stations join the list only while everything is allowed.
    if (m_allow != kAllowAll && !outcome.list.empty())
        outcome.list.resize(1);

    if (checkStoredIds && !ids.empty() && outcome.locals.size() == 1) {
        outcome.storedIds = true;
        storedIdsFound();
        CheckStoredIds(ids, outcome);
    }
    progress(100);
    return outcome;
}

void CSearchProcedure::CheckStoredIds(const std::vector<std::string>& ids, tSearchOutcome& outcome)
{
    std::vector<std::string> again;
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<std::string>& round = pass == 0 ? ids : again;
        std::vector<std::string> missing;
        for (const std::string& id : round) {
            TraceHere("Check remote devices with key: %s\n", id.c_str());
            tMacAddress found = MacZero();
            int result = m_engine.AddRemote(nullptr, CPlexaEngine::PasswordToKey(id), found);
            if (result == kAddRemoteLocalFailed)
                return;
            if (result == 0) {
                missing.push_back(id);
                continue;
            }
            TraceHere("addRemote returned successfully with: %s\n", MacListText(found).c_str());
            AddToList(outcome.list, found, id);
        }
        again = missing;
    }
}

int AssignSteps(int remotes)
{
    return 2 * remotes + 3;
}

DWORD AssignStepMs(int remotes)
{
    DWORD share = 2000 / static_cast<DWORD>(remotes + 1);
    return share > 500 ? share : 500;
}

CAssignProcedure::CAssignProcedure(CPlexaEngine& engine, CAdapterLayer& layer,
                                   std::function<void(const std::function<void()>&)> runKeyOperation)
    : m_engine(engine), m_layer(layer), m_run(std::move(runKeyOperation))
{
}

bool CAssignProcedure::Run(CThread& worker, std::vector<tListedAdapter>& list, const tNetworkKey& nek,
                           const std::function<void()>& step, DWORD edgeMs, DWORD stepMs)
{
    int remotes = 0;
    for (const tListedAdapter& listed : list)
        remotes += listed.local ? 0 : 1;
    if (stepMs == 0)
        stepMs = AssignStepMs(remotes);
    auto wait = [&](DWORD ms) {
        if (worker.WaitForStop(ms))
            return false;
        step();
        return true;
    };

    if (!wait(edgeMs))
        return false;
    for (tListedAdapter& listed : list) {
        if (!wait(stepMs))
            return false;
        if (listed.local)
            m_run([&] { listed.result = m_engine.SetLocalNEK(listed.address, nek); });
        else
            m_run([&] { listed.result = m_engine.SetKnownRemote(listed.hasDak ? &listed.dak : nullptr, nek, listed.address); });
        if (!wait(stepMs))
            return false;
    }
    // Who holds the new key now: one status round on the local adapter's network. No key
    // changes here, so it needs no turn on the window thread.
    std::set<tMacAddress> answering;
    for (const tListedAdapter& listed : list)
        if (listed.local)
            if (std::shared_ptr<CInternalAdapter> adapter = m_layer.AdapterOfLocal(listed.address))
                answering = adapter->AnsweringStations(kAnswerWaitMs);
    // An adapter counts only when its own key procedure succeeded, and remote ones only when
    // the local adapter took the key too: otherwise they may answer under the old key.
    bool localTook = false;
    for (const tListedAdapter& listed : list)
        if (listed.local && listed.result != 0)
            localTook = true;
    for (tListedAdapter& listed : list)
        listed.answers = listed.result != 0 && localTook && (listed.local || answering.count(listed.address) > 0);
    return !worker.WaitForStop(edgeMs);
}
