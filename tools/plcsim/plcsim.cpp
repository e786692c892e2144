#include "tools/plcsim/plcsim.h"

#include <stdarg.h>
#include <stdio.h>

#include <fstream>
#include <sstream>

#include "tools/plcsim/answers.h"

CPlcsim::CPlcsim() : m_stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_start(GetTickCount()) {}

CPlcsim::~CPlcsim()
{
    m_commands.Stop();
    PortDestroy(m_port);
}

void CPlcsim::Log(const char* format, ...)
{
    printf("%8.3f ", (GetTickCount() - m_start) / 1000.0);
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
    printf("\n");
    fflush(stdout);
}

bool CPlcsim::LoadScenario(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        fprintf(stderr, "plcsim: cannot read %s\n", path.c_str());
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    tScenario scenario;
    std::string error;
    if (!ParseScenario(text.str(), scenario, error)) {
        fprintf(stderr, "plcsim: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    m_emulator.reset(new CEmulator(scenario));
    return true;
}

void CPlcsim::OnAdapter(int event, tPortAdapter* adapter, void* user)
{
    CPlcsim* self = static_cast<CPlcsim*>(user);
    if (event == PORT_ADAPTER_ADDED) {
        self->m_portOf[adapter] = self->m_scanning;
        self->Log("adapter %s (%s)", adapter->name.c_str(),
                  self->m_scanning.empty() ? "any port" : self->m_scanning.c_str());
    } else {
        self->m_portOf.erase(adapter);
        self->Log("adapter removed: %s", adapter->name.c_str());
    }
}

bool CPlcsim::OpenAdapters()
{
    // Promiscuous: the emulated devices answer frames to any of their addresses.
    m_port = PortCreate(OnAdapter, this, 1, nullptr, 0);
    if (!m_port)
        return false;
    std::vector<std::string> ports = m_emulator->Ports();
    if (ports.empty()) {
        PortScanAdapters(m_port);
    } else {
        // One scan per port, so that every adapter is known under the port name it serves.
        for (const std::string& name : ports) {
            m_scanning = name;
            SetEnvironmentVariableA("RAWPORT_ADAPTERS", name.c_str());
            PortScanAdapters(m_port);
        }
        m_scanning.clear();
    }
    return PortAdapterCount(m_port) > 0;
}

void CPlcsim::Answer(const tReceivedFrame& frame)
{
    if (frame.length < kEthernetHeader || m_emulator->IsOwnAddress(MacFromBytes(frame.data + 6)))
        return; // our own answers, seen again on the link
    const std::string& port = m_portOf[frame.adapter];
    Log("RX %s %s", port.c_str(), CEmulator::Describe(frame.data, frame.length).c_str());
    for (const tEmulatorFrame& answer : m_emulator->OnFrame(port, frame.data, frame.length)) {
        PortQueueFrame(frame.adapter, answer.bytes.data(), answer.bytes.size(), 0);
        Log("TX %s %s", port.c_str(), CEmulator::Describe(answer.bytes.data(), answer.bytes.size()).c_str());
    }
}

bool CPlcsim::StartBurst(const std::string& command)
{
    unsigned count = 0, milliseconds = 0;
    char extra = 0;
    if (sscanf(command.c_str(), "burst %u %u %c", &count, &milliseconds, &extra) != 2 || count == 0 ||
        count > 65535 || milliseconds > 600000)
        return false;
    m_burst.remaining = count;
    m_burst.next = 0;
    m_burst.gap = milliseconds / count;
    m_burst.due = GetTickCount();
    Log("ok burst %u", count);
    return true;
}

void CPlcsim::SendBurst()
{
    // Frames that fell due while the thread was busy leave together, a bounded number a turn.
    for (int sent = 0; m_burst.remaining > 0 && sent < 256; ++sent) {
        if (static_cast<LONG>(GetTickCount() - m_burst.due) < 0)
            return;
        unsigned i = m_burst.next++;
        tMacAddress source = {{0x02, 0xBB, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}};
        tFrameBytes frame = AnswerStatRsp(MacBroadcast(), source);
        for (tPortAdapter* adapter = PortFirstAdapter(m_port); adapter; adapter = PortNextAdapter(adapter))
            PortSendNow(adapter, frame.data(), frame.size());
        --m_burst.remaining;
        m_burst.due += m_burst.gap;
    }
}

int CPlcsim::BurstWait() const
{
    if (m_burst.remaining == 0)
        return -1;
    LONG left = static_cast<LONG>(m_burst.due - GetTickCount());
    return left > 0 ? static_cast<int>(left) : 0;
}

bool CPlcsim::RunCommands()
{
    std::string command;
    while (m_commands.Next(command)) {
        if (command == "quit")
            return false;
        if (command.compare(0, 6, "burst ") == 0) {
            if (!StartBurst(command))
                Log("error: burst takes a count of 1 to 65535 and milliseconds");
            continue;
        }
        std::string reply;
        m_emulator->Command(command, reply);
        if (!reply.empty())
            Log("%s", reply.c_str());
    }
    // Without standard input the emulator keeps serving until it is stopped.
    return true;
}

void CPlcsim::Serve()
{
    HANDLE handles[2] = {m_stop.Get(), m_commands.Ready()};
    for (;;) {
        DWORD which = 0;
        tReceivedFrame* frame = PortWait(m_port, handles, 2, &which, BurstWait());
        if (frame)
            Answer(*frame);
        else if (which == WAIT_OBJECT_0)
            return;
        else if (which == WAIT_OBJECT_0 + 1 && !RunCommands())
            return;
        SendBurst();
    }
}

int CPlcsim::Run(const std::string& scenarioPath)
{
    if (!m_stop || !LoadScenario(scenarioPath))
        return 2;
    if (!OpenAdapters()) {
        fprintf(stderr, "plcsim: no Ethernet adapter to serve (is rawport.dll there, and wpcap.dll?)\n");
        return 3;
    }
    Log("serving %u devices; ready", static_cast<unsigned>(m_emulator->Devices().size()));
    m_commands.Start(GetStdHandle(STD_INPUT_HANDLE));
    Serve();
    Log("stopping");
    return 0;
}
