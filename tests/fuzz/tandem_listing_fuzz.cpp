// Fuzz entry point for what a tandem client reads from a server: listings (every name kept must
// be a plain file name, and a listing built from the kept entries reads back the same) and host
// descriptions (every field within its limit). Built natively with libFuzzer (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "tandem/protocol.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    tListingParse listing;
    ParseListing(text, listing);
    Check(listing.items.size() <= kListingEntryLimit);
    for (const ShareItem& item : listing.items) {
        Check(IsSafeEntryName(item.name));
        Check(item.name != "." && item.name != "..");
        Check(!item.isFolder || item.size == 0);
        std::string joined;
        Check(JoinLocalPath("C:\\target", item.name, joined));
    }
    tListingParse again;
    ParseListing(BuildListing(listing.items), again);
    Check(again.items.size() == listing.items.size() && again.refused.empty());
    for (size_t i = 0; i < again.items.size(); ++i) {
        Check(again.items[i].name == listing.items[i].name);
        Check(again.items[i].isFolder == listing.items[i].isFolder);
        Check(again.items[i].size == listing.items[i].size);
    }

    HostInfo info;
    ParseHostInfoReply(text, size % 2 == 1, info);
    for (const std::string* field : {&info.name, &info.version, &info.buildTime, &info.buildDate, &info.os})
        Check(field->size() <= kHostInfoFieldLimit);
    Check(size % 2 == 1 || info.os.empty());
    return 0;
}
