#include "tools/plcsim/command_reader.h"

namespace {

const DWORD kPipePollMs = 20;
const DWORD kStopWaitMs = 300;

} // namespace

CCommandReader::CCommandReader() : m_shared(std::make_shared<tShared>()), m_thread(new CThread) {}

CCommandReader::~CCommandReader()
{
    Stop();
}

bool CCommandReader::Start(HANDLE input)
{
    std::shared_ptr<tShared> shared = m_shared;
    return m_shared->ready && m_thread &&
           m_thread->Start([input, shared](CThread& self) { Run(self, input, shared); });
}

void CCommandReader::Stop()
{
    if (!m_thread || m_thread->Stop(kStopWaitMs))
        return;
    if (CancelSynchronousIo(m_thread->Handle()) && m_thread->Join(kStopWaitMs))
        return;
    // Blocked in a read nothing can interrupt: the thread keeps what it uses and ends with the
    // process.
    m_thread.release();
}

bool CCommandReader::Next(std::string& line)
{
    raii::CLock lock(m_shared->lock);
    if (m_shared->lines.empty())
        return false;
    line = std::move(m_shared->lines.front());
    m_shared->lines.pop_front();
    return true;
}

bool CCommandReader::Ended()
{
    raii::CLock lock(m_shared->lock);
    return m_shared->ended && m_shared->lines.empty();
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

bool CCommandReader::tShared::Push(std::deque<std::string>& pushed, bool end)
{
    bool quit = false;
    {
        raii::CLock guard(lock);
        for (std::string& line : pushed) {
            if (quit)
                break;
            quit = line == "quit";
            if (lines.size() < kMaxBacklog)
                lines.push_back(std::move(line));
        }
        pushed.clear();
        ended = ended || end || quit;
    }
    SetEvent(ready.Get());
    return quit;
}

int CCommandReader::WaitForInput(CThread& self, HANDLE input, DWORD type, bool& canLook)
{
    if (type == FILE_TYPE_PIPE && canLook) {
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
                if (GetLastError() == ERROR_BROKEN_PIPE)
                    return -1; // the writer is gone
                canLook = false; // a pipe that cannot be looked at: plain reads from now on
                break;
            }
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
    return self.StopRequested() ? 0 : 1;
}

void CCommandReader::Run(CThread& self, HANDLE input, const std::shared_ptr<tShared>& shared)
{
    DWORD type = input && input != INVALID_HANDLE_VALUE ? GetFileType(input) : FILE_TYPE_UNKNOWN;
    bool canLook = true;
    std::string pending;
    std::deque<std::string> lines;
    for (;;) {
        int ready = type == FILE_TYPE_UNKNOWN ? -1 : WaitForInput(self, input, type, canLook);
        if (ready == 0)
            return;
        char buffer[1024];
        DWORD read = 0;
        if (ready < 0 || !ReadFile(input, buffer, sizeof buffer, &read, nullptr) || read == 0) {
            if (!pending.empty())
                lines.push_back(pending.substr(0, kMaxLine));
            shared->Push(lines, true);
            return;
        }
        pending.append(buffer, read);
        SplitLines(pending, lines);
        if (!lines.empty() && shared->Push(lines, false))
            return; // nothing is read after "quit"
    }
}
