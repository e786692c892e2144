#include "common/list.h"

#include <stdlib.h>

namespace {

// Identity compare. The pointer difference cannot be returned as a 32-bit number: two
// different 64-bit addresses may differ by a multiple of 2^32.
int32_t DefaultCompare(void* item, const void* probe)
{
    if (item == probe)
        return 0;
    return reinterpret_cast<uintptr_t>(item) < reinterpret_cast<uintptr_t>(probe) ? -1 : 1;
}

} // namespace

extern "C" {

tList* ListNew(void)
{
    tList* list = static_cast<tList*>(calloc(1, sizeof(tList)));
    if (list)
        list->compare = DefaultCompare;
    return list;
}

bool ListAppend(tList* list, void* item, int32_t key)
{
    if (!list || !item)
        return false;
    tListNode* node = static_cast<tListNode*>(calloc(1, sizeof(tListNode)));
    if (!node)
        return false;
    node->key = key;
    node->item = item;
    if (list->tail)
        list->tail->next = node;
    else
        list->head = node;
    list->tail = node;
    ++list->count;
    return true;
}

int32_t ListCount(const tList* list)
{
    return list ? list->count : 0;
}

void* ListGetAt(const tList* list, int32_t position)
{
    if (!list || position < 0 || position >= list->count)
        return nullptr;
    const tListNode* node = list->head;
    for (int32_t i = 0; node && i < position; ++i)
        node = node->next;
    return node ? node->item : nullptr;
}

void* ListFindKey(const tList* list, int32_t key)
{
    if (!list)
        return nullptr;
    for (const tListNode* node = list->head; node; node = node->next)
        if (node->key == key)
            return node->item;
    return nullptr;
}

void* ListFind(const tList* list, const void* probe)
{
    if (!list)
        return nullptr;
    tListCompare compare = list->compare ? list->compare : DefaultCompare;
    for (const tListNode* node = list->head; node; node = node->next)
        if (compare(node->item, probe) == 0)
            return node->item;
    return nullptr;
}

void ListSetDeleter(tList* list, tListDeleter deleter)
{
    if (list)
        list->deleter = deleter;
}

void ListSetCompare(tList* list, tListCompare compare)
{
    if (list)
        list->compare = compare ? compare : DefaultCompare;
}

void ListClear(tList* list)
{
    if (!list)
        return;
    // Detach first: a deleter that looks at this list again sees it empty, never half freed.
    tListNode* node = list->head;
    list->head = list->tail = nullptr;
    list->count = 0;
    while (node) {
        tListNode* next = node->next;
        if (list->deleter && node->item)
            list->deleter(node->item);
        free(node);
        node = next;
    }
}

void ListFree(tList* list)
{
    if (!list)
        return;
    ListClear(list);
    free(list);
}

}
