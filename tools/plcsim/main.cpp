// plcsim: a powerline network on the PC's Ethernet adapters, for tests and the demo. It
// answers the management frames and audio broadcasts the suite sends as the devices of its
// scenario would, takes commands on standard input, and logs every frame.
//
// Usage: plcsim.exe SCENARIO.ini
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tools/plcsim/plcsim.h"

namespace {

const char kUsage[] =
    "usage: plcsim.exe SCENARIO.ini\n"
    "\n"
    "Emulates the powerline devices of the scenario on the Ethernet adapters it names\n"
    "(see tools/plcsim/scenario.h for the file). Commands on standard input:\n"
    "  plug NAME | unplug NAME | rate NAME RAW | quality NAME RAW | key NAME KEY | list | quit\n"
    "  burst COUNT MS   send COUNT status answers from distinct stations over MS milliseconds\n";

CPlcsim* g_running;

BOOL WINAPI OnConsoleEvent(DWORD)
{
    if (g_running)
        g_running->RequestStop();
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !strcmp(argv[1], "-h") || !strcmp(argv[1], "--help") || !strcmp(argv[1], "/?")) {
        fputs(kUsage, stderr);
        return 2;
    }
    CPlcsim plcsim;
    g_running = &plcsim;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    int result = plcsim.Run(argv[1]);
    if (result == 2)
        fprintf(stderr, "\n%s", kUsage);
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_running = nullptr;
    return result;
}
