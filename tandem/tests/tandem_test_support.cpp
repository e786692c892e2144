#include "tandem/tests/tandem_test_support.h"

#include <gtest/gtest.h>

#include <atomic>

#include "tandem/share_files.h"

namespace tandemtest {

namespace {

std::atomic<unsigned> g_ports{0};

// Every test program of this support library talks over sockets.
class CWinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(m_winsock.Ok()); }

private:
    raii::CWinsockInit m_winsock;
};
::testing::Environment* const g_winsock = ::testing::AddGlobalTestEnvironment(new CWinsockEnvironment);

} // namespace

unsigned short NextPort()
{
    // Apart per process, so that test programs running side by side do not meet, and below
    // the range the system hands out for outgoing connections (from 32768).
    unsigned base = 20000 + (GetCurrentProcessId() * 37) % 12000;
    return static_cast<unsigned short>(base + g_ports++ % 400);
}

uint32_t LoopbackAddress(int n)
{
    return htonl(0x7F000000u | static_cast<uint32_t>(n));
}

raii::CSocket Connect(unsigned short port, DWORD timeoutMs, uint32_t from)
{
    raii::CSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!connection)
        return connection;
    DWORD timeout = timeoutMs;
    setsockopt(connection.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (from) {
        sockaddr_in local = {};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = from;
        if (bind(connection.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return raii::CSocket();
    }
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = kLoopback;
    target.sin_port = htons(port);
    if (connect(connection.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        return raii::CSocket();
    return connection;
}

bool SendBytes(SOCKET socket, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        int count = send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (count <= 0)
            return false;
        sent += static_cast<size_t>(count);
    }
    return true;
}

bool SendMessage(SOCKET socket, const std::string& payload)
{
    return SendBytes(socket, std::to_string(payload.size()) + ":" + payload);
}

std::string ReadUntilClose(SOCKET socket)
{
    std::string bytes;
    char buffer[65536];
    for (;;) {
        int count = recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0)
            return bytes;
        bytes.append(buffer, static_cast<size_t>(count));
    }
}

bool Unframe(const std::string& bytes, std::string& payload)
{
    size_t colon = bytes.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    size_t length = static_cast<size_t>(_strtoui64(bytes.substr(0, colon).c_str(), nullptr, 10));
    if (bytes.size() != colon + 1 + length)
        return false;
    payload = bytes.substr(colon + 1);
    return true;
}

bool Ask(unsigned short port, const std::string& request, std::string& reply, uint32_t from)
{
    raii::CSocket connection = Connect(port, 10000, from);
    return connection && SendMessage(connection.Get(), request) &&
           Unframe(ReadUntilClose(connection.Get()), reply);
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs)
{
    return testsupport::WaitFor(predicate, timeoutMs) || predicate();
}

CShares::CShares() : m_settings(m_dir.File("tandem.ini")) {}

std::string CShares::MakeFolder(const std::string& relative)
{
    std::string path = m_dir.Path() + "\\" + relative;
    CreateParentFolders(path + "\\x");
    return path;
}

std::string CShares::WriteFile(const std::string& relative, const std::string& content)
{
    std::string path = m_dir.Path() + "\\" + relative;
    CreateParentFolders(path);
    testsupport::WriteFileText(path, content);
    return path;
}

void CShares::Share(const std::string& name, const std::string& folder)
{
    WritePrivateProfileStringA(kSharesSection, name.c_str(), folder.c_str(), m_settings.c_str());
}

void CRecorder::Add(tEvent event)
{
    event.tick = GetTickCount();
    raii::CLock lock(m_lock);
    m_events.push_back(std::move(event));
}

void CRecorder::Started(int jobId)
{
    tEvent event;
    event.what = "started";
    event.id = jobId;
    Add(event);
}

void CRecorder::Progress(int jobId, int64_t, double)
{
    tEvent event;
    event.what = "progress";
    event.id = jobId;
    Add(event);
}

void CRecorder::Finished(int jobId, bool success)
{
    tEvent event;
    event.what = "finished";
    event.id = jobId;
    event.success = success;
    Add(event);
}

void CRecorder::ExpandResult(int jobId, const std::vector<ShareItem>& items, bool success)
{
    tEvent event;
    event.what = "expand";
    event.id = jobId;
    event.items = items;
    event.success = success;
    Add(event);
}

void CRecorder::HostInfoResult(int jobId, const HostInfo& info)
{
    tEvent event;
    event.what = "hostinfo";
    event.id = jobId;
    event.info = info;
    event.success = true;
    Add(event);
}

void CRecorder::HostAppeared(uint32_t address, const std::string& name, HostKind kind)
{
    tEvent event;
    event.what = "appeared";
    event.address = address;
    event.name = name;
    event.kind = kind;
    Add(event);
}

void CRecorder::HostDisappeared(uint32_t address)
{
    tEvent event;
    event.what = "disappeared";
    event.address = address;
    Add(event);
}

std::vector<CRecorder::tEvent> CRecorder::Events()
{
    raii::CLock lock(m_lock);
    return m_events;
}

size_t CRecorder::Count(const std::string& what)
{
    raii::CLock lock(m_lock);
    size_t count = 0;
    for (const tEvent& event : m_events)
        count += event.what == what;
    return count;
}

bool CRecorder::WaitFor(const std::string& what, int id, tEvent& out, DWORD timeoutMs)
{
    return WaitUntil(
        [&] {
            raii::CLock lock(m_lock);
            for (const tEvent& event : m_events)
                if (event.what == what && event.id == id) {
                    out = event;
                    return true;
                }
            return false;
        },
        timeoutMs);
}

bool CRecorder::WaitForCount(const std::string& what, size_t count, DWORD timeoutMs)
{
    return WaitUntil([&] { return Count(what) >= count; }, timeoutMs);
}

} // namespace tandemtest
