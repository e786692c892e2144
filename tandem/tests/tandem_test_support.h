// Helpers of tandem's tests: loopback connections that speak the request protocol by hand,
// shares in a temporary folder, and listeners that record what the worker objects report.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "tandem/listeners.h"

namespace tandemtest {

const uint32_t kLoopback = 0x0100007F; // 127.0.0.1 in network byte order

// Ports of their own for every server a test starts: a port just closed may linger.
unsigned short NextPort();
// 127.0.0.n in network byte order.
uint32_t LoopbackAddress(int n);

// A blocking connection to 127.0.0.1:port whose receives give up after the time-out.
raii::CSocket Connect(unsigned short port, DWORD timeoutMs = 5000, uint32_t from = 0);
bool SendBytes(SOCKET socket, const std::string& bytes);
bool SendMessage(SOCKET socket, const std::string& payload);
// What arrives until the peer closes (or the time-out).
std::string ReadUntilClose(SOCKET socket);
// The payload of a complete FramedMessage, or false.
bool Unframe(const std::string& bytes, std::string& payload);
// One request on a new connection; false when the connection ended without a full reply.
bool Ask(unsigned short port, const std::string& request, std::string& reply, uint32_t from = 0);

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs);

// A settings file whose section "shares" names folders below a temporary folder.
class CShares {
public:
    CShares();
    const std::string& Settings() const { return m_settings; }
    const std::string& Root() const { return m_dir.Path(); }
    // Creates the folder (and its parents) below the temporary folder; its full path.
    std::string MakeFolder(const std::string& relative);
    std::string WriteFile(const std::string& relative, const std::string& content);
    void Share(const std::string& name, const std::string& folder);

private:
    testsupport::CTempDir m_dir;
    std::string m_settings;
};

// Records every report of the worker objects, in order.
class CRecorder : public CProgressListener,
                  public IRequestResultListener,
                  public IHostListener {
public:
    struct tEvent {
        std::string what; // started, progress, finished, expand, hostinfo, appeared, disappeared
        int id = 0;
        bool success = false;
        std::vector<ShareItem> items;
        HostInfo info;
        uint32_t address = 0;
        std::string name;
        int kind = 0;
        DWORD tick = 0;
    };

    void Started(int jobId) override;
    void Progress(int jobId, int64_t percent, double rate) override;
    void Finished(int jobId, bool success) override;
    void ExpandResult(int jobId, const std::vector<ShareItem>& items, bool success) override;
    void HostInfoResult(int jobId, const HostInfo& info) override;
    void HostAppeared(uint32_t address, const std::string& name, HostKind kind) override;
    void HostDisappeared(uint32_t address) override;

    std::vector<tEvent> Events();
    size_t Count(const std::string& what);
    // The first event of that kind and id, waiting for it up to the time.
    bool WaitFor(const std::string& what, int id, tEvent& out, DWORD timeoutMs = 10000);
    bool WaitForCount(const std::string& what, size_t count, DWORD timeoutMs = 10000);

private:
    void Add(tEvent event);
    raii::CCriticalSection m_lock;
    std::vector<tEvent> m_events;
};

} // namespace tandemtest
