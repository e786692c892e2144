// Reads the emulator's commands from standard input on a thread of its own and hands them to
// the serving thread one line at a time. Reading ends with the input, or after "quit". Where it
// can, the thread looks at the input before it reads, so that it ends as soon as it is asked
// to; a read the system cannot interrupt (a pipe under Wine, where pipes cannot be looked at)
// keeps its thread until the process ends.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
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
    HANDLE Ready() const { return m_shared->ready.Get(); }
    // The oldest line not taken yet; false when there is none.
    bool Next(std::string& line);
    bool Ended();

    // Lines longer than this are cut; lines beyond the backlog are dropped.
    static constexpr size_t kMaxLine = 512;
    static constexpr size_t kMaxBacklog = 256;

    // Splits what was read into lines (without CR LF); the rest stays in pending.
    static void SplitLines(std::string& pending, std::deque<std::string>& lines);

private:
    // What the reading thread and the reader share; the thread holds it for as long as it runs.
    struct tShared {
        raii::CHandle ready{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
        raii::CCriticalSection lock;
        std::deque<std::string> lines;
        bool ended = false;
        // Hands lines over; true when one of them was "quit".
        bool Push(std::deque<std::string>& lines, bool ended);
    };

    static void Run(CThread& self, HANDLE input, const std::shared_ptr<tShared>& shared);
    // Waits until the input has something to read: 1 yes, 0 asked to stop, -1 no more input.
    static int WaitForInput(CThread& self, HANDLE input, DWORD type, bool& canLook);

    std::shared_ptr<tShared> m_shared;
    std::unique_ptr<CThread> m_thread;
};
