// tandem-node.exe: a tandem host on the console. Options:
//   -ini:PATH        settings file (default: tandem-node.ini beside the program)
//   -debugfeatures   ask other hosts for their operating system too
//   -noannounce      announce on no interface (the host is found only when added by hand)
//   /debug:...       trace destinations (give a file: traces and events share no stream then)
// Commands on standard input, one a line, arguments separated by tabs (or blanks when the
// line holds no tab): expand ADDR PATH, info ADDR, get ADDR REMOTE LOCAL,
// getfolder ADDR REMOTE LOCAL [PARALLEL], cancel ID, cancelfolder TAG, cancelupload SERIAL,
// seen ADDR [NAME], forget ADDR, refuse ADDR, admit ADDR, rename NAME, hosts, counts, quit.
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "common/options.h"
#include "common/raii.h"
#include "common/trace.h"
#include "tandem/node/node.h"

int main()
{
    TraceInit(GetCommandLineA());
    raii::CWinsockInit winsock;
    if (!winsock.Ok()) {
        fprintf(stderr, "tandem-node: Winsock cannot be started\n");
        return 1;
    }
    tNodeOptions options;
    tList* parsed = ParseOptions(GetCommandLineA());
    if (tOption* ini = FindOption(parsed, "ini"))
        if (ini->value)
            options.settingsPath = ini->value;
    options.askForOs = FindOption(parsed, "debugfeatures") != nullptr;
    options.announce = FindOption(parsed, "noannounce") == nullptr;
    ListFree(parsed);

    CTandemNode node(options);
    node.Start();
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, stdin)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!node.Command(line))
            break;
    }
    node.Stop();
    return 0;
}
