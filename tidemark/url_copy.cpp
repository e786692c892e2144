#include "tidemark/url_copy.h"

#include <string.h>

#include <atomic>

namespace {

std::atomic<long> g_alive{0};

} // namespace

char* NewUrlCopy(const std::string& url)
{
    char* copy = new char[url.size() + 1];
    memcpy(copy, url.c_str(), url.size() + 1);
    ++g_alive;
    return copy;
}

void FreeUrlCopy(char* copy)
{
    if (!copy)
        return;
    delete[] copy;
    --g_alive;
}

long UrlCopiesAlive()
{
    return g_alive.load();
}
