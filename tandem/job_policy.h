// Which job starts next, on the server and in the request client. Quick jobs (listings, host
// information) always go before downloads, each class within its own limit, so that a full
// set of downloads never holds up browsing.
#pragma once

#include <stddef.h>

struct tJobCounts {
    int quick = 0;
    int downloads = 0;
};

struct tJobLimits {
    int quick;
    int downloads;
};

// The server takes waiting jobs in arrival order: the first quick one while fewer than the
// quick limit run, else the first download while fewer than the download limit run. Gives
// the position in the waiting list, or end.
template <class List, class IsQuick>
typename List::iterator PickServerJob(List& waiting, IsQuick isQuick, const tJobCounts& running,
                                      const tJobLimits& limits)
{
    if (running.quick < limits.quick)
        for (auto it = waiting.begin(); it != waiting.end(); ++it)
            if (isQuick(*it))
                return it;
    if (running.downloads < limits.downloads)
        for (auto it = waiting.begin(); it != waiting.end(); ++it)
            if (!isQuick(*it))
                return it;
    return waiting.end();
}

enum tClientPick { CLIENT_PICK_NONE, CLIENT_PICK_NEWEST_QUICK, CLIENT_PICK_OLDEST_DOWNLOAD };

// The client serves the most recently asked listing first (the folder the user just opened
// comes before older prefetches) and downloads in the order they were asked for.
inline tClientPick PickClientJob(size_t quickQueued, size_t downloadsQueued, const tJobCounts& running,
                                 const tJobLimits& limits)
{
    if (running.quick < limits.quick && quickQueued > 0)
        return CLIENT_PICK_NEWEST_QUICK;
    if (running.downloads < limits.downloads && downloadsQueued > 0)
        return CLIENT_PICK_OLDEST_DOWNLOAD;
    return CLIENT_PICK_NONE;
}
