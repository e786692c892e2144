// Sends a record file to a collection server the way plexa's usage collector does, and prints
// the outcome: "UPLOAD sent=<0|1> status=<code> ms=<duration>". The server is set in the
// collector's registry settings first.
// Usage: upload_probe.exe SERVER PAGE RECORD_FILE
#include <windows.h>

#include <stdio.h>

#include "common/trace.h"
#include "plugins/plexa/usage_collector.h"

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    TraceInit("probe /debug:0");
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCollectorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 3;
    RegSetValueExA(key, "Server", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[1]), static_cast<DWORD>(strlen(argv[1]) + 1));
    RegSetValueExA(key, "ServerPage", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[2]), static_cast<DWORD>(strlen(argv[2]) + 1));
    RegCloseKey(key);
    CUsageCollector collector;
    collector.Start();
    tUploadResult result = collector.Upload(argv[3]);
    printf("UPLOAD sent=%d status=%lu ms=%lu collector=%s\n", result.sent ? 1 : 0,
           static_cast<unsigned long>(result.status), static_cast<unsigned long>(result.milliseconds),
           collector.CollectorId().c_str());
    fflush(stdout);
    collector.Stop();
    return 0;
}
