// The station addresses of the powerline tests and benchmarks: the PC's adapter, a local
// device on its Ethernet port and devices on the mains behind it.
#pragma once

#include "powerline/frames.h"

namespace teststations {

// An address from its text form; all zero when the text is none.
inline tMacAddress Mac(const char* text)
{
    tMacAddress address = MacZero();
    MacFromText(text, address);
    return address;
}

const tMacAddress kPc = Mac("02:00:00:00:00:10");
const tMacAddress kLocal = Mac("02:00:00:00:00:01");
const tMacAddress kRemote = Mac("02:00:00:00:00:02");
const tMacAddress kHs = Mac("02:00:00:00:00:03");
const tMacAddress kAudio = Mac("02:00:00:00:00:04");

} // namespace teststations
