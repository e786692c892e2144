// The cleaning run: what the worker thread does, in its fixed order, reporting to a
// progress receiver. The run itself never touches a window; the progress dialog turns the
// reports into posted messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "tidemark/rules.h"

// One run: what to delete and the flag Cancel sets. A new run starts with the flag clear.
struct tCleanJob {
    tCleanOptions options;
    std::atomic<bool> cancelled{false};
};

// What the run reports, in order, from the worker thread.
class CCleanProgress {
public:
    virtual ~CCleanProgress() = default;
    // A phase call: a new number announces the phase, the current one ends a step of it.
    virtual void Phase(int phase) = 0;
    // The History folder entry has `total` items (0: empty or no entry).
    virtual void HistoryRange(unsigned total) = 0;
    virtual void HistoryItem(const std::string& name) = 0;
    // A cache entry is about to be deleted.
    virtual void CacheUrl(const std::string& url) = 0;
    // The run is over (also when cancelled).
    virtual void Finished() = 0;
    // The window that owns the shell's questions during the run.
    virtual HWND Owner() const = 0;
};

// How long one settings-change broadcast may wait for a window that does not answer.
const UINT kBroadcastTimeoutMs = 30000;

// Runs the whole job on the calling thread (COM is initialised for it here).
void RunCleaner(tCleanJob& job, CCleanProgress& progress);

// Deletes a key of HKEY_CURRENT_USER with everything below it and tells every top-level
// window, without waiting on hung ones.
void DeleteKeyAndBroadcast(const char* key);
