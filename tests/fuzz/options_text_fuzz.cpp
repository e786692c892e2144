// Fuzz entry point for what a peer monitor sends: the options text of a fetch, the
// proclamation datagram, and the sequence of proclamations the fetch schedule sees. The first
// byte chooses which; the rest is the input. Properties that must hold for any input abort
// the run when they do not.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "monitor/fetch_schedule.h"
#include "monitor/options_text.h"

namespace {

void OptionsText(const std::string& text)
{
    auto entries = SplitOptionsText(text);
    if (entries.size() > kMaxOptionsEntries)
        abort();
    // The entries are the text's prefix, taken apart at the separators.
    std::string rebuilt;
    for (const auto& entry : entries) {
        if (entry.first.find(':') != std::string::npos || entry.second.find(';') != std::string::npos)
            abort();
        rebuilt += entry.first + ":" + entry.second + ";";
    }
    if (text.compare(0, rebuilt.size(), rebuilt) != 0)
        abort();
}

void Proclamation(const uint8_t* data, size_t size)
{
    auto parts = SplitProclamation(data, size);
    if (parts.empty() || parts.size() > 3)
        abort();
    // Joined again at zero bytes, the parts are the datagram.
    std::string joined = parts[0];
    for (size_t i = 1; i < parts.size(); ++i)
        joined += std::string(1, '\0') + parts[i];
    if (joined != std::string(reinterpret_cast<const char*>(data), size))
        abort();
}

// Two bytes per event: the sender (of eight) and what happens with how much time passing.
void Schedule(const uint8_t* data, size_t size)
{
    CFetchSchedule schedule(1000, 4);
    uint32_t now = 0xFFFFF000u; // across the wrap of the tick count
    bool fetching[8] = {};
    for (size_t i = 0; i + 1 < size; i += 2) {
        uint32_t sender = data[i] & 7;
        now += (data[i + 1] & 0x3F) * 50u;
        switch (data[i + 1] >> 6) {
        case 0:
        case 1:
            if (schedule.Request(sender, now) == CFetchSchedule::kFetchNow) {
                if (fetching[sender])
                    abort(); // two fetches from one sender at once
                fetching[sender] = true;
            }
            break;
        case 2:
            if (data[i] & 8)
                schedule.Postpone(sender);
            else
                schedule.Finished(sender);
            fetching[sender] = false;
            break;
        default:
            for (uint32_t due : schedule.Due(now)) {
                if (fetching[due])
                    abort();
                fetching[due] = true;
            }
        }
        if (schedule.Senders() > 4)
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t* rest = data + 1;
    size_t length = size - 1;
    switch (data[0] % 3) {
    case 0:
        OptionsText(std::string(reinterpret_cast<const char*>(rest), length));
        break;
    case 1:
        Proclamation(rest, length);
        break;
    default:
        Schedule(rest, length);
    }
    return 0;
}
