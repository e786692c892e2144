// The emulator as a program: the scenario's devices served on the PC's Ethernet adapters
// through the packet port, commands from standard input, a log line for every frame. All
// frames are received, answered and sent on the one serving thread; the command reader only
// hands lines over.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "common/raii.h"
#include "powerline/packet_port.h"
#include "tools/plcsim/command_reader.h"
#include "tools/plcsim/emulator.h"

class CPlcsim {
public:
    CPlcsim();
    ~CPlcsim();
    CPlcsim(const CPlcsim&) = delete;
    CPlcsim& operator=(const CPlcsim&) = delete;

    // Exit codes of the program: 0 done, 2 bad scenario, 3 nothing to serve.
    int Run(const std::string& scenarioPath);
    // Ends Run from any thread (Ctrl+C).
    void RequestStop() { SetEvent(m_stop.Get()); }

private:
    // A run of forged status answers for the load benchmarks: COUNT distinct stations, evenly
    // spread over MS milliseconds, on every adapter.
    struct tBurst {
        unsigned remaining = 0;
        unsigned next = 0;
        DWORD gap = 0;
        DWORD due = 0;
    };

    bool LoadScenario(const std::string& path);
    bool OpenAdapters();
    void Serve();
    void Answer(const tReceivedFrame& frame);
    // False when the command was "quit".
    bool RunCommands();
    bool StartBurst(const std::string& command);
    void SendBurst();
    int BurstWait() const;
    static void OnAdapter(int event, tPortAdapter* adapter, void* user);
    void Log(const char* format, ...);

    std::unique_ptr<CEmulator> m_emulator;
    tPacketPort* m_port = nullptr;
    std::string m_scanning; // the port being scanned, for OnAdapter
    std::map<tPortAdapter*, std::string> m_portOf;
    raii::CHandle m_stop;
    CCommandReader m_commands;
    tBurst m_burst;
    DWORD m_start;
};
