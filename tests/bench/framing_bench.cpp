// Framed file transfer throughput over loopback (SendFramed to ReceiveFramedFile), side by
// side with a plain blocking send/recv copy of the same file between the same two threads, in
// pairs of rounds. Both make the target file anew and close it inside their clocks. Beside
// them, the ceiling of this machine under Wine: the same bytes from memory to memory over
// loopback, without files. Prints MB/s and the framed/plain ratio of each pair; it never fails
// on a timing.
//
// Usage: framing_bench.exe [size in MiB, default 256] [rounds, default 7]
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool MakePair(raii::CSocket& client, raii::CSocket& server)
{
    raii::CSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = kLoopback;
    int size = sizeof address;
    if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.Get(), 1) != 0 ||
        getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    client.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    server.Attach(accept(listener.Get(), nullptr, nullptr));
    return server.IsValid();
}

bool WriteSource(const std::string& path, int64_t size)
{
    raii::CHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    std::vector<uint32_t> block(1 << 18);
    uint32_t x = 2463534242u;
    for (int64_t written = 0; written < size;) {
        for (uint32_t& word : block) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            word = x;
        }
        DWORD piece = static_cast<DWORD>(std::min<int64_t>(size - written, block.size() * 4));
        DWORD done = 0;
        if (!WriteFile(file.Get(), block.data(), piece, &done, nullptr) || done != piece)
            return false;
        written += piece;
    }
    return true;
}

double FramedRound(const std::string& source, const std::string& target)
{
    raii::CSocket client, server;
    if (!MakePair(client, server))
        return -1;
    SetBlocking(client.Get(), false);
    SetBlocking(server.Get(), false);
    tCancelFlag cancel{false};
    bool sent = false, received = false;
    double start = Seconds();
    std::thread sender([&] { sent = SendFramed(client.Get(), nullptr, source.c_str(), 0, 1, cancel, nullptr); });
    received = ReceiveFramedFile(server.Get(), target.c_str(), 2, cancel, nullptr);
    sender.join();
    double elapsed = Seconds() - start;
    return sent && received ? elapsed : -1;
}

// The reference: blocking sockets, the same 1,000,000-byte buffers, the same files, made and
// closed as ReceiveFramedFile does.
double PlainRound(const std::string& source, const std::string& target, int64_t size)
{
    raii::CSocket client, server;
    if (!MakePair(client, server))
        return -1;
    bool sent = true, received = true;
    double start = Seconds();
    std::thread sender([&] {
        raii::CHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        std::unique_ptr<char[]> buffer(new char[kFramedChunk]);
        DWORD read = 0;
        while (in && ReadFile(in.Get(), buffer.get(), kFramedChunk, &read, nullptr) && read > 0) {
            for (DWORD off = 0; off < read;) {
                int n = send(client.Get(), buffer.get() + off, static_cast<int>(read - off), 0);
                if (n <= 0) {
                    sent = false;
                    return;
                }
                off += static_cast<DWORD>(n);
            }
        }
    });
    raii::CHandle out(CreateNewFile(target.c_str()));
    std::unique_ptr<char[]> buffer(new char[kFramedChunk]);
    int64_t total = 0;
    while (out && total < size) {
        int n = recv(server.Get(), buffer.get(), static_cast<int>(std::min<int64_t>(size - total, kFramedChunk)), 0);
        if (n <= 0) {
            received = false;
            break;
        }
        DWORD written = 0;
        WriteFile(out.Get(), buffer.get(), static_cast<DWORD>(n), &written, nullptr);
        total += n;
    }
    received = received && out.IsValid() && out.Close();
    sender.join();
    double elapsed = Seconds() - start;
    return sent && received ? elapsed : -1;
}

// The ceiling: the same number of bytes from memory to memory over loopback.
double MemoryRound(int64_t size)
{
    raii::CSocket client, server;
    if (!MakePair(client, server))
        return -1;
    bool sent = true;
    double start = Seconds();
    std::thread sender([&] {
        std::unique_ptr<char[]> buffer(new char[kFramedChunk]());
        for (int64_t done = 0; done < size;) {
            int n = send(client.Get(), buffer.get(), static_cast<int>(std::min<int64_t>(size - done, kFramedChunk)), 0);
            if (n <= 0) {
                sent = false;
                return;
            }
            done += n;
        }
    });
    std::unique_ptr<char[]> buffer(new char[kFramedChunk]);
    int64_t total = 0;
    while (total < size) {
        int n = recv(server.Get(), buffer.get(), static_cast<int>(std::min<int64_t>(size - total, kFramedChunk)), 0);
        if (n <= 0)
            break;
        total += n;
    }
    sender.join();
    double elapsed = Seconds() - start;
    return sent && total == size ? elapsed : -1;
}

// Every timed transfer starts from the same state: the target of the last one written through
// to the disk, so that no transfer pays for the write-back of the one before.
void Settle(const std::string& target)
{
    raii::CHandle file(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file)
        FlushFileBuffers(file.Get());
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int64_t mib = argc > 1 ? atoll(argv[1]) : 256;
    int rounds = argc > 2 ? atoi(argv[2]) : 7;
    if (mib <= 0 || rounds <= 0)
        return 2;
    int64_t size = mib * 1024 * 1024;
    raii::CWinsockInit winsock;

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string source = std::string(temp) + "framing-bench-source.bin";
    std::string target = std::string(temp) + "framing-bench-target.bin";
    if (!WriteSource(source, size)) {
        fprintf(stderr, "cannot write %s\n", source.c_str());
        return 1;
    }

    std::vector<double> framed, plain, memory, ratios;
    for (int i = 0; i < rounds; ++i) {
        // alternate the order, so that neither side always finds a warmer cache
        double p, f;
        Settle(target);
        if (i % 2) {
            f = FramedRound(source, target);
            Settle(target);
            p = PlainRound(source, target, size);
        } else {
            p = PlainRound(source, target, size);
            Settle(target);
            f = FramedRound(source, target);
        }
        double m = MemoryRound(size);
        if (p <= 0 || f <= 0 || m <= 0) {
            fprintf(stderr, "a transfer failed (plain %.3f s, framed %.3f s, memory %.3f s)\n", p, f, m);
            return 1;
        }
        plain.push_back(p);
        framed.push_back(f);
        memory.push_back(m);
        ratios.push_back(p / f);
        printf("round %d: plain %7.1f MB/s, framed %7.1f MB/s, framed/plain %.3f (memory to memory %7.1f MB/s)\n",
               i + 1, size / p / 1e6, size / f / 1e6, p / f, size / m / 1e6);
    }
    DeleteFileA(source.c_str());
    DeleteFileA(target.c_str());

    double plainRate = size / Median(plain) / 1e6;
    double framedRate = size / Median(framed) / 1e6;
    double ratio = Median(ratios);
    std::sort(ratios.begin(), ratios.end());
    printf("framed file transfer, %lld MiB over loopback, median of %d rounds (target: framing costs at most 5 %%)\n",
           static_cast<long long>(mib), rounds);
    printf("  plain blocking send/recv     : %8.1f MB/s\n", plainRate);
    printf("  SendFramed/ReceiveFramedFile : %8.1f MB/s\n", framedRate);
    printf("  framed/plain, paired rounds  : median %.3f (framing costs %.1f %%), range %.3f to %.3f\n", ratio,
           (1.0 - ratio) * 100.0, ratios.front(), ratios.back());
    printf("  ceiling, memory to memory    : %8.1f MB/s (no files; what Wine's loopback moves here)\n",
           size / Median(memory) / 1e6);
    return 0;
}
