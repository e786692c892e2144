#include "tidemark/url_copy.h"

#include <string.h>

#include <set>

#include "common/raii.h"

namespace {

struct tCopies {
    raii::CCriticalSection lock;
    std::set<const char*> live;
};

tCopies& Copies()
{
    static tCopies copies;
    return copies;
}

// Unregisters a live copy; false for anything else.
bool Release(const char* copy)
{
    tCopies& copies = Copies();
    raii::CLock lock(copies.lock);
    return copies.live.erase(copy) == 1;
}

} // namespace

char* NewUrlCopy(const std::string& url)
{
    char* copy = new char[url.size() + 1];
    memcpy(copy, url.c_str(), url.size() + 1);
    tCopies& copies = Copies();
    raii::CLock lock(copies.lock);
    copies.live.insert(copy);
    return copy;
}

bool TakeUrlCopy(char* copy, std::string& url)
{
    if (!copy || !Release(copy))
        return false;
    url = copy;
    delete[] copy;
    return true;
}

void FreeUrlCopy(char* copy)
{
    if (copy && Release(copy))
        delete[] copy;
}

long UrlCopiesAlive()
{
    tCopies& copies = Copies();
    raii::CLock lock(copies.lock);
    return static_cast<long>(copies.live.size());
}
