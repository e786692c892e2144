// plcsim: a powerline network on the PC's Ethernet adapters, for tests and the demo. It
// answers the management frames and audio broadcasts the suite sends as the devices of its
// scenario would, takes commands on standard input, and logs every frame.
//
// Usage: plcsim.exe SCENARIO.ini
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "plugins/plexa/packet_port.h"
#include "tools/plcsim/emulator.h"

namespace {

const char kUsage[] =
    "usage: plcsim.exe SCENARIO.ini\n"
    "\n"
    "Emulates the powerline devices of the scenario on the Ethernet adapters it names\n"
    "(see tools/plcsim/scenario.h for the file). Commands on standard input:\n"
    "  plug NAME | unplug NAME | rate NAME RAW | quality NAME RAW | key NAME KEY | list | quit\n"
    "  burst COUNT MS   send COUNT status answers from distinct stations over MS milliseconds\n";

struct tContext {
    std::string currentPort;
    std::map<tPortAdapter*, std::string> portOf;
};

DWORD g_start;
std::mutex g_printLock;

void Log(const char* format, const std::string& a, const std::string& b = std::string())
{
    std::lock_guard<std::mutex> guard(g_printLock);
    printf("%8.3f ", (GetTickCount() - g_start) / 1000.0);
    printf(format, a.c_str(), b.c_str());
    printf("\n");
    fflush(stdout);
}

void OnAdapter(int event, tPortAdapter* adapter, void* user)
{
    tContext* context = static_cast<tContext*>(user);
    if (event == PORT_ADAPTER_ADDED) {
        context->portOf[adapter] = context->currentPort;
        Log("adapter %s (%s)", adapter->name, context->currentPort.empty() ? "any port" : context->currentPort);
    } else {
        context->portOf.erase(adapter);
        Log("adapter removed: %s%s", adapter->name);
    }
}

} // namespace

int main(int argc, char** argv)
{
    g_start = GetTickCount();
    if (argc != 2 || !strcmp(argv[1], "-h") || !strcmp(argv[1], "--help") || !strcmp(argv[1], "/?")) {
        fputs(kUsage, stderr);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        fprintf(stderr, "plcsim: cannot read %s\n\n%s", argv[1], kUsage);
        return 2;
    }
    std::ostringstream text;
    text << file.rdbuf();
    tScenario scenario;
    std::string error;
    if (!ParseScenario(text.str(), scenario, error)) {
        fprintf(stderr, "plcsim: %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    CEmulator emulator(scenario);
    std::mutex emulatorLock;

    tContext context;
    tPacketPort* port = PortCreate(OnAdapter, &context, 1, nullptr, 0);
    std::vector<std::string> ports = emulator.Ports();
    if (ports.empty()) {
        PortScanAdapters(port);
    } else {
        // One scan per port, so that every adapter is known under the port name it serves.
        for (const std::string& name : ports) {
            context.currentPort = name;
            SetEnvironmentVariableA("RAWPORT_ADAPTERS", name.c_str());
            PortScanAdapters(port);
        }
    }
    if (PortAdapterCount(port) == 0) {
        fprintf(stderr, "plcsim: no Ethernet adapter to serve (is rawport.dll there, and wpcap.dll?)\n");
        PortDestroy(port);
        return 3;
    }
    Log("serving %s devices; ready", std::to_string(emulator.Devices().size()));

    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A burst of answers for the load benchmark: distinct forged stations, evenly paced.
    auto burst = [&](const std::string& command) {
        unsigned count = 0, milliseconds = 0;
        if (sscanf(command.c_str(), "burst %u %u", &count, &milliseconds) != 2 || count == 0 || count > 65535)
            return false;
        DWORD gap = milliseconds / count;
        for (tPortAdapter* adapter = PortFirstAdapter(port); adapter; adapter = PortNextAdapter(adapter)) {
            tMgmtFrame frame;
            for (unsigned i = 0; i < count; ++i) {
                tMacAddress source = {{0x02, 0xBB, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}};
                size_t length = BuildStatRsp(frame, MacBroadcast(), source);
                PortQueueFrame(adapter, frame.bytes, length, gap);
            }
        }
        Log("ok burst %s%s", std::to_string(count));
        return true;
    };
    std::thread commands([&] {
        char line[512];
        while (fgets(line, sizeof line, stdin)) {
            std::string command = line;
            while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
                command.pop_back();
            if (command == "quit") {
                SetEvent(stop);
                return;
            }
            if (command.compare(0, 6, "burst ") == 0 && burst(command))
                continue;
            std::string reply;
            {
                std::lock_guard<std::mutex> guard(emulatorLock);
                emulator.Command(command, reply);
            }
            if (!reply.empty())
                Log("%s%s", reply);
        }
        // Without standard input the emulator keeps serving until it is stopped.
    });
    commands.detach();

    for (;;) {
        DWORD which = 0;
        tReceivedFrame* frame = PortWait(port, &stop, 1, &which, -1);
        if (!frame) {
            if (which == WAIT_OBJECT_0)
                break;
            continue;
        }
        std::string portName = context.portOf[frame->adapter];
        std::vector<tEmulatorFrame> answers;
        {
            std::lock_guard<std::mutex> guard(emulatorLock);
            if (emulator.IsOwnAddress(MacFromBytes(frame->data + 6)))
                continue;
            Log("RX %s %s", portName, CEmulator::Describe(frame->data, frame->length));
            answers = emulator.OnFrame(portName, frame->data, frame->length);
        }
        for (const tEmulatorFrame& answer : answers) {
            PortQueueFrame(frame->adapter, answer.bytes.data(), answer.bytes.size(), 0);
            Log("TX %s %s", portName, CEmulator::Describe(answer.bytes.data(), answer.bytes.size()));
        }
    }
    Log("stopping%s%s", "");
    PortDestroy(port);
    return 0;
}
