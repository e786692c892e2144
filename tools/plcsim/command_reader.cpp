#include "tools/plcsim/command_reader.h"

namespace {

const DWORD kPipePollMs = 20;

} // namespace

CCommandReader::CCommandReader() : m_ready(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

CCommandReader::~CCommandReader()
{
    Stop();
}

bool CCommandReader::Start(HANDLE input)
{
    return m_ready && m_thread.Start([this, input](CThread& self) { Run(self, input); });
}

void CCommandReader::Stop()
{
    m_thread.Stop();
}

bool CCommandReader::Next(std::string& line)
{
    raii::CLock lock(m_lock);
    if (m_lines.empty())
        return false;
    line = std::move(m_lines.front());
    m_lines.pop_front();
    return true;
}

bool CCommandReader::Ended()
{
    raii::CLock lock(m_lock);
    return m_ended && m_lines.empty();
}

void CCommandReader::SplitLines(std::string& pending, std::deque<std::string>& lines)
{
    std::string::size_type end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > kMaxLine)
            line.resize(kMaxLine);
        lines.push_back(std::move(line));
    }
    if (pending.size() > kMaxLine) {
        // A line without end: what fits counts as a line, the rest up to its end is dropped.
        lines.push_back(pending.substr(0, kMaxLine));
        pending.clear();
    }
}

void CCommandReader::Push(std::deque<std::string>& lines, bool ended)
{
    {
        raii::CLock lock(m_lock);
        while (!lines.empty()) {
            if (m_lines.size() < kMaxBacklog)
                m_lines.push_back(std::move(lines.front()));
            lines.pop_front();
        }
        m_ended = m_ended || ended;
    }
    SetEvent(m_ready.Get());
}

int CCommandReader::WaitForInput(CThread& self, HANDLE input, DWORD type)
{
    if (type == FILE_TYPE_PIPE) {
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr))
                return -1; // the writer is gone, or this pipe cannot be looked at
            if (available > 0)
                return 1;
            if (self.WaitForStop(kPipePollMs))
                return 0;
        }
    }
    if (type == FILE_TYPE_CHAR) {
        HANDLE handles[2] = {self.StopEvent(), input};
        DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        return result == WAIT_OBJECT_0 + 1 ? 1 : result == WAIT_OBJECT_0 ? 0 : -1;
    }
    // A file never keeps a read waiting.
    return self.StopRequested() ? 0 : 1;
}

void CCommandReader::Run(CThread& self, HANDLE input)
{
    DWORD type = input && input != INVALID_HANDLE_VALUE ? GetFileType(input) : FILE_TYPE_UNKNOWN;
    std::string pending;
    std::deque<std::string> lines;
    for (;;) {
        int ready = type == FILE_TYPE_UNKNOWN ? -1 : WaitForInput(self, input, type);
        if (ready == 0)
            return;
        char buffer[1024];
        DWORD read = 0;
        if (ready < 0 || !ReadFile(input, buffer, sizeof buffer, &read, nullptr) || read == 0) {
            if (!pending.empty())
                lines.push_back(pending.substr(0, kMaxLine));
            Push(lines, true);
            return;
        }
        pending.append(buffer, read);
        SplitLines(pending, lines);
        if (!lines.empty())
            Push(lines, false);
    }
}
