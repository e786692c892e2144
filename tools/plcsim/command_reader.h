// Reads the emulator's commands from standard input on a thread of its own and hands them to
// the serving thread one line at a time. The thread never blocks for good: it looks at a pipe
// or a console before it reads, so that it ends as soon as it is asked to.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "common/raii.h"
#include "common/thread.h"

class CCommandReader {
public:
    CCommandReader();
    ~CCommandReader();
    CCommandReader(const CCommandReader&) = delete;
    CCommandReader& operator=(const CCommandReader&) = delete;

    bool Start(HANDLE input);
    void Stop();
    // Signalled (auto-reset) when lines arrived or the input ended.
    HANDLE Ready() const { return m_ready.Get(); }
    // The oldest line not taken yet; false when there is none.
    bool Next(std::string& line);
    bool Ended();

    // Lines longer than this are cut; lines beyond the backlog are dropped.
    static constexpr size_t kMaxLine = 512;
    static constexpr size_t kMaxBacklog = 256;

    // Splits what was read into lines (without CR LF); the rest stays in pending.
    static void SplitLines(std::string& pending, std::deque<std::string>& lines);

private:
    void Run(CThread& self, HANDLE input);
    // Waits until the input has something to read: 1 yes, 0 asked to stop, -1 no more input.
    int WaitForInput(CThread& self, HANDLE input, DWORD type);
    void Push(std::deque<std::string>& lines, bool ended);

    raii::CHandle m_ready;
    raii::CCriticalSection m_lock;
    std::deque<std::string> m_lines;
    bool m_ended = false;
    CThread m_thread;
};
