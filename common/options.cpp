#include "common/options.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

void DeleteOption(void* item)
{
    tOption* option = static_cast<tOption*>(item);
    free(option->name);
    free(option->value);
    free(option);
}

int32_t CompareOptionName(void* item, const void* probe)
{
    const tOption* option = static_cast<const tOption*>(item);
    if (!option->name || !probe)
        return 1;
    return strcasecmp(option->name, static_cast<const char*>(probe));
}

char* CopyText(const char* text, size_t length)
{
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy) {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

// Strips one enclosing pair of double quotes, or a lone leading quote.
void Unquote(const char*& begin, const char*& end)
{
    size_t length = static_cast<size_t>(end - begin);
    if (length == 0 || *begin != '"')
        return;
    size_t quotes = 0;
    for (const char* p = begin; p != end; ++p)
        quotes += (*p == '"');
    if (length >= 2 && end[-1] == '"') {
        ++begin;
        --end;
    } else if (quotes == 1) {
        ++begin;
    }
}

} // namespace

char* SplitList(const char* text, size_t length)
{
    char* list = static_cast<char*>(calloc(length + 2, 1));
    if (!list || !text)
        return list;
    char* out = list;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && text[i] == '"')
            quoted = !quoted;
        if (i < length && (text[i] != ',' || quoted))
            continue;
        const char* begin = text + start;
        const char* end = text + i;
        Unquote(begin, end);
        memcpy(out, begin, static_cast<size_t>(end - begin));
        out += (end - begin) + 1; // the buffer is zero-filled: the separator is already there
        start = i + 1;
    }
    return list;
}

tList* ParseOptions(const char* commandLine)
{
    tList* list = ListNew();
    if (!list)
        return nullptr;
    ListSetDeleter(list, DeleteOption);
    ListSetCompare(list, CompareOptionName);
    if (!commandLine)
        return list;

    const char* p = commandLine;
    while (*p) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        const char* token = p;
        unsigned quotes = 0;
        while (*p && (*p != ' ' || (quotes & 1))) {
            quotes += (*p == '"');
            ++p;
        }
        const char* tokenEnd = p;

        tOption* option = static_cast<tOption*>(calloc(1, sizeof(tOption)));
        if (!option)
            break;
        if (*token == '-' || *token == '/') {
            const char* nameBegin = token + 1;
            const char* colon = nullptr;
            for (const char* q = nameBegin; q != tokenEnd && *q != '"'; ++q)
                if (*q == ':') {
                    colon = q;
                    break;
                }
            const char* nameEnd = colon ? colon : tokenEnd;
            option->name = CopyText(nameBegin, static_cast<size_t>(nameEnd - nameBegin));
            if (colon)
                option->value = SplitList(colon + 1, static_cast<size_t>(tokenEnd - colon - 1));
        } else {
            const char* begin = token;
            const char* end = tokenEnd;
            Unquote(begin, end);
            // a one-item zero-separated list: the text, its zero, and the list's final zero
            size_t length = static_cast<size_t>(end - begin);
            option->value = static_cast<char*>(calloc(length + 2, 1));
            if (option->value)
                memcpy(option->value, begin, length);
        }
        if (!ListAppend(list, option, 0))
            DeleteOption(option);
    }
    return list;
}

tOption* FindOption(tList* options, const char* name)
{
    return static_cast<tOption*>(ListFind(options, name));
}
