// What the wizard's pages share, and the two procedures its workers run: the search for the
// local adapter (with the check of the stored security IDs) and the assignment of the network
// key to every adapter of the list. The procedures know no windows: they report through the
// callbacks they are given, so tests run them against the in-memory rawport.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/thread.h"
#include "plexaconf/plexa_engine.h"
#include "plexaconf/security_ids.h"

// An adapter of the list the wizard keys: the local one first, then the remote ones.
struct tListedAdapter {
    tMacAddress address = {};
    bool local = false;
    std::string securityId; // empty for stations the search found without one
    bool hasDak = false;
    tNetworkKey dak = {};
    // After the assignment: the result of setting its key, and whether it answered under the
    // new key.
    int result = 0;
    bool answers = false;
};

// The address as the list shows it: six pairs joined by ":".
std::string MacListText(const tMacAddress& address);

// The setting "allow": "all" lets the stations the search sees join the list.
extern const char kAllowAll[];

struct tSearchTimings {
    int rounds = 10;     // the device search's rounds
    int firstRound = 5;  // after which its first result is there
    DWORD firstResultMs = 5000;
    DWORD settleMs = 1000; // further answers after the first result
};

struct tSearchOutcome {
    std::vector<tMacAddress> locals; // every local adapter found, on every network adapter
    std::vector<tListedAdapter> list;
    bool storedIds = false; // stored security IDs were there (and were checked)
};

class CSearchProcedure {
public:
    CSearchProcedure(CAdapterLayer& layer, CPlexaEngine& engine, CSecurityIdStore& store, const std::string& allow,
                     const tSearchTimings& timings = tSearchTimings());

    // progress: 0-100; stopMonitor: keeps the monitor's plug-in off the adapters;
    // storedIdsFound: told before the first stored ID is tried, since remote keys may change
    // from then on.
    tSearchOutcome Run(const std::function<void(int)>& progress, const std::function<void()>& stopMonitor,
                       const std::function<void()>& storedIdsFound, bool checkStoredIds);

private:
    void CheckStoredIds(const std::vector<std::string>& ids, tSearchOutcome& outcome);

    CAdapterLayer& m_layer;
    CPlexaEngine& m_engine;
    CSecurityIdStore& m_store;
    std::string m_allow;
    tSearchTimings m_timings;
};

// Adds a remote adapter to the list, or gives the entry of that address its security ID.
void AddToList(std::vector<tListedAdapter>& list, const tMacAddress& address, const std::string& securityId);

// The assignment's progress bar: 2n + 3 steps for n remote adapters, each wait the larger of
// 2000 / (n + 1) and 500 ms.
int AssignSteps(int remotes);
DWORD AssignStepMs(int remotes);
const DWORD kAssignEdgeMs = 750; // the first wait and the pause before the last page

class CAssignProcedure {
public:
    // runKeyOperation runs a key procedure where the wizard runs them (its window thread)
    // and returns when it is done.
    CAssignProcedure(CPlexaEngine& engine, CAdapterLayer& layer,
                     std::function<void(const std::function<void()>&)> runKeyOperation);

    // Keys every adapter of the list with the NEK and records the results in it; the waits
    // end early, and no further adapter is started, once the worker is asked to stop. False
    // when it was stopped.
    // edgeMs and stepMs: the waits, when not the usual ones (0 for stepMs: AssignStepMs).
    bool Run(CThread& worker, std::vector<tListedAdapter>& list, const tNetworkKey& nek,
             const std::function<void()>& step, DWORD edgeMs = kAssignEdgeMs, DWORD stepMs = 0);

private:
    CPlexaEngine& m_engine;
    CAdapterLayer& m_layer;
    std::function<void(const std::function<void()>&)> m_run;
};

// How long the last round waits for adapters to answer under the new key.
const DWORD kAnswerWaitMs = 1000;
