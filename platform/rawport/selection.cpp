#include "platform/rawport/selection.h"

#include <string.h>
#include <strings.h>

#include "platform/rawport/rawport_constants.h"

bool RawportSelected(const std::string& name, const std::string& description,
                     const std::string& list)
{
    if (list.find_first_not_of(" ,") == std::string::npos)
        return true;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t first = item.find_first_not_of(' ');
        size_t last = item.find_last_not_of(' ');
        item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
        if (!item.empty() && (strcasecmp(item.c_str(), name.c_str()) == 0 ||
                              strcasecmp(item.c_str(), description.c_str()) == 0))
            return true;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return false;
}

bool RawportAccepts(const uint8_t* frame, size_t length, const uint8_t station[6], uint32_t filter)
{
    if (!frame || length < 14)
        return false;
    if (memcmp(frame + 6, station, 6) == 0)
        return false;
    if (filter & kRawFilterPromiscuous)
        return true;
    static const uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if ((filter & kRawFilterDirected) && memcmp(frame, station, 6) == 0)
        return true;
    if ((filter & kRawFilterBroadcast) && memcmp(frame, kBroadcast, 6) == 0)
        return true;
    return false;
}
