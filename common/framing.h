// The pure parts of the socket transport: FramedMessage length texts and the rate meter.
// A FramedMessage on a TCP stream is a decimal length, ":", then exactly that many bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// A length text is at most 63 characters; the 64th non-terminator byte fails the header.
const size_t kFramedHeaderMaximum = 64;
// Framed texts are received into memory: a peer must not make us allocate gigabytes.
const int64_t kFramedStringLimit = 64 * 1024 * 1024;
// Transfers move at most this many bytes per socket call and file access.
const size_t kFramedChunk = 1000000;

// The decimal digits of a length text as a number; false for an empty text, anything but
// digits (no sign, no blank) or a number beyond the signed 64-bit range.
bool ParseFramedLength(const std::string& text, int64_t& out);
std::string FormatFramedHeader(int64_t length);

// Transfer rate over the last ten reports, in KB/s (1 KB = 1024 bytes).
class CRateMeter {
public:
    static const int kSamples = 10;

    void Reset();
    // Replaces the oldest sample and returns the average rate, 0 while no time has passed.
    double AddSample(uint64_t bytes, uint64_t milliseconds);

private:
    uint64_t m_bytes[kSamples] = {};
    uint64_t m_milliseconds[kSamples] = {};
    int m_position = 0;
};

// Whole percent of a transfer, 100 for an empty one.
int64_t TransferPercent(int64_t done, int64_t total);
