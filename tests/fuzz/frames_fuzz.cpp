// Fuzz entry point for the parsers of frames that arrive from the network: the management
// frame walker with every entry handler shape the discovery engine uses, the IPv4/UDP checks
// and the Hello parser. Built natively with libFuzzer (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "powerline/frames.h"

namespace {

void Entry(uint8_t type, size_t length, const uint8_t* data, void* context)
{
    // Touch every byte handed out, as the handlers do: a read past the frame is caught here.
    unsigned sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += data[i];
    *static_cast<unsigned*>(context) += sum + type;
    if (type == kEntryNetStat && length == kNetStatLength) {
        for (int i = 0; i < kNetStatRecords; ++i) {
            tMacAddress address;
            uint16_t raw;
            if (NetStatRecord(data, i, address, raw))
                *static_cast<unsigned*>(context) += static_cast<unsigned>(NetStatRate(raw));
        }
    }
    if (type == kEntryVendor && IsZivudEntry(length, data) && ZivudSubtype(data) == kZivudQuality) {
        for (int i = 0; i < ZivudQualityCount(length); ++i) {
            tMacAddress address;
            uint16_t raw;
            ZivudQualityRecord(data, i, address, raw);
            *static_cast<unsigned*>(context) += static_cast<unsigned>(ZivudQualityRate(raw));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxFrame)
        size = kMaxFrame;
    // An exact-size copy, so that the sanitizer sees any read past the frame.
    std::vector<uint8_t> frame(data, data + size);
    unsigned sink = 0;
    MgmtParse(frame.data(), frame.size(), Entry, &sink);
    tUdpPayload udp;
    if (CheckUdpFrame(frame.data(), frame.size(), udp)) {
        tHello hello;
        ParseHello(udp.data, udp.length, hello);
    }
    tHello hello;
    ParseHello(frame.data(), frame.size(), hello);
    return sink == 0xFFFFFFFF ? 1 : 0;
}
