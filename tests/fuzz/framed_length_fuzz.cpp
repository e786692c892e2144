// Fuzz entry point for the length texts of FramedMessages (what a peer sends before ":") and
// the transfer figures computed from them.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "common/framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kFramedHeaderMaximum)
        size = kFramedHeaderMaximum;
    std::string text(reinterpret_cast<const char*>(data), size);
    int64_t length = -1;
    if (ParseFramedLength(text, length)) {
        if (length < 0 || text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
            abort();
        // Without leading zeros, the number is written back as it came.
        std::string header = FormatFramedHeader(length);
        if (text.find_first_not_of('0') == 0 && header != text + ":")
            abort();
        int64_t again = -1;
        if (!ParseFramedLength(header.substr(0, header.size() - 1), again) || again != length)
            abort();
        // Progress of a transfer of that length, at some point of it.
        int64_t done = size > 0 ? length / (data[0] + 1) : 0;
        int64_t percent = TransferPercent(done, length);
        if (percent < 0 || percent > 100)
            abort();
    }
    CRateMeter meter;
    for (size_t i = 0; i + 1 < size; i += 2) {
        double rate = meter.AddSample(static_cast<uint64_t>(data[i]) << (data[i + 1] & 31), data[i + 1] >> 5);
        if (!(rate >= 0))
            abort();
    }
    return 0;
}
