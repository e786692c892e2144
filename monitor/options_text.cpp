#include "monitor/options_text.h"

const char kProclamationTag[] = "watchpost_sharedoptions";

std::vector<std::pair<std::string, std::string>> SplitOptionsText(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> entries;
    // Positions instead of erasing from the front: a long text of short entries stays linear.
    size_t at = 0;
    while (at < text.size() && entries.size() < kMaxOptionsEntries) {
        size_t colon = text.find(':', at);
        if (colon == std::string::npos || text.find(';', at) == std::string::npos)
            break;
        size_t semicolon = text.find(';', colon + 1);
        if (semicolon == std::string::npos)
            break;
        entries.emplace_back(text.substr(at, colon - at), text.substr(colon + 1, semicolon - colon - 1));
        at = semicolon + 1;
    }
    return entries;
}

std::string BuildProclamation(int id)
{
    std::string datagram = kProclamationTag;
    datagram += '\0';
    datagram += std::to_string(id);
    return datagram;
}

std::vector<std::string> SplitProclamation(const uint8_t* data, size_t length)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i < length && parts.size() < 2; ++i)
        if (data[i] == 0) {
            parts.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
            start = i + 1;
        }
    if (start < length || parts.size() < 3)
        parts.emplace_back(reinterpret_cast<const char*>(data) + start, length - start);
    return parts;
}
