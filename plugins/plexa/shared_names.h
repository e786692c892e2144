// The device names as shareable options, the text that travels between the monitors of one LAN:
// one line "devicenames.ADDRESS=NAME" per device. What comes from another PC is bounded and
// checked before anything of it is stored. No windows.h here: also built natively for fuzzing.
#pragma once

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

#include "powerline/frames.h"

extern const char kNamesSection[];
// Bounds on what another PC may write into the names store.
const size_t kMaxNameLength = 200;
const size_t kMaxSharedNames = 256;

// "devicenames.KEY=VALUE\n" for every entry.
std::string FormatShareableOptions(const std::vector<std::pair<std::string, std::string>>& entries);

// One name that arrived from another PC and may be stored.
struct tSharedName {
    tMacAddress address;
    std::string name;
};
// Walks the text (section up to ".", key up to "=", value up to line feed) and keeps only what
// is safe to store: section "devicenames", a key that is a station address, a value of at
// most 200 characters without control characters, at most 256 entries.
std::vector<tSharedName> ParseShareableOptions(const std::string& text);
