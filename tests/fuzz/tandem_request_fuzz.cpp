// Fuzz entry point for what a tandem server reads from a connection: the first message as its
// bytes arrive in pieces of any size, its classification by the request table, and the share
// path it names. A path that passes must be one share name and plain names below it. Built
// natively with libFuzzer (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "tandem/protocol.h"

namespace {

const int64_t kLimit = 64 * 1024;

void Check(bool condition)
{
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how the bytes arrive; the rest is what the peer sends.
    size_t step = data[0] / 2 % 17 + 1;
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    CRequestReader reader(kLimit);
    size_t at = 0;
    bool ok = true;
    // Odd first bytes read as the server does, peeking at what waits; even ones in pieces of at
    // most what the reader wants.
    bool peek = data[0] & 1;
    while (ok && reader.Wanted() > 0 && at < bytes.size()) {
        size_t available = std::min(step * 7, bytes.size() - at);
        size_t piece = peek ? reader.Span(bytes.data() + at, available)
                            : std::min(std::min(reader.Wanted(), step), bytes.size() - at);
        Check(piece > 0 && piece <= available + step);
        ok = reader.Take(bytes.data() + at, piece);
        at += piece;
    }
    if (reader.Complete()) {
        Check(ok && static_cast<int64_t>(reader.Payload().size()) <= kLimit);
        Check(reader.Wanted() == 0);
    }
    if (!ok)
        Check(reader.Wanted() == 0 && !reader.Complete());

    // The table and the path rules also get the raw bytes, as a payload of their own.
    for (const std::string* payload : std::initializer_list<const std::string*>{&reader.Payload(), &bytes}) {
        tRequest request = ParseRequest(*payload);
        Check(request.type >= SERVER_JOB_UNKNOWN && request.type <= SERVER_JOB_HOSTINFO_OS);
        Check(request.type != SERVER_JOB_UNKNOWN || !request.quick);
        std::string share, rest;
        if (!SplitSharePath(request.argument, share, rest))
            continue;
        Check(IsSafeEntryName(share));
        Check(request.argument == "\\" + share + rest);
        Check(rest.find('/') == std::string::npos && rest.find(':') == std::string::npos);
        Check(rest.find("\\..\\") == std::string::npos && rest.find("\\\\") == std::string::npos);
        std::string joined;
        Check(JoinLocalPath("C:\\share", share + rest, joined));
    }
    return 0;
}
