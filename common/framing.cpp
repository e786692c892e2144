#include "common/framing.h"

#include <limits>

bool ParseFramedLength(const std::string& text, int64_t& out)
{
    if (text.empty())
        return false;
    const int64_t max = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        int digit = c - '0';
        if (value > (max - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    out = value;
    return true;
}

std::string FormatFramedHeader(int64_t length)
{
    return std::to_string(length) + ":";
}

void CRateMeter::Reset()
{
    *this = CRateMeter();
}

double CRateMeter::AddSample(uint64_t bytes, uint64_t milliseconds)
{
    m_bytes[m_position] = bytes;
    m_milliseconds[m_position] = milliseconds;
    m_position = (m_position + 1) % kSamples;
    uint64_t totalBytes = 0, totalMilliseconds = 0;
    for (int i = 0; i < kSamples; ++i) {
        totalBytes += m_bytes[i];
        totalMilliseconds += m_milliseconds[i];
    }
    if (totalMilliseconds == 0)
        return 0;
    return (static_cast<double>(totalBytes) * 1000.0 / static_cast<double>(totalMilliseconds)) /
           1024.0;
}

int64_t TransferPercent(int64_t done, int64_t total)
{
    if (total <= 0)
        return 100;
    return static_cast<int64_t>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}
