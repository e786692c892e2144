// Fuzz entry point for the device names that arrive from other PCs as shareable options: what
// the parser keeps is bounded and safe to store, and keeps its meaning through a round trip.
// Built natively with libFuzzer (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "plugins/plexa/shared_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<tSharedName> names = ParseShareableOptions(text);
    if (names.size() > kMaxSharedNames)
        __builtin_trap();
    std::vector<std::pair<std::string, std::string>> entries;
    for (const tSharedName& name : names) {
        if (name.name.size() > kMaxNameLength)
            __builtin_trap();
        for (unsigned char c : name.name)
            if (c < 0x20 || c == 0x7F)
                __builtin_trap();
        entries.emplace_back(MacToText(name.address, ":"), name.name);
    }
    std::vector<tSharedName> again = ParseShareableOptions(FormatShareableOptions(entries));
    if (again.size() != names.size())
        __builtin_trap();
    for (size_t i = 0; i < names.size(); ++i)
        if (!(again[i].address == names[i].address) || again[i].name != names[i].name)
            __builtin_trap();
    return 0;
}
