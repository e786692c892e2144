// Keyed list of the utility library: a C-style singly linked list of untyped items.
// Every block comes zero-filled from the C heap of the module that creates the list and is
// freed only by that module; plug-ins and the monitor read each other's lists in place, so
// the layout below must stay the same on both sides.
#pragma once

#include <stdint.h>

extern "C" {

typedef void (*tListDeleter)(void* item);
typedef int32_t (*tListCompare)(void* item, const void* probe);

struct tListNode {
    int32_t key;
    void* item;
    tListNode* next;
};

struct tList {
    int32_t count;
    tListNode* head;
    tListNode* tail;
    tListDeleter deleter;
    tListCompare compare;
};

tList* ListNew(void);
bool ListAppend(tList* list, void* item, int32_t key);
int32_t ListCount(const tList* list);
void* ListGetAt(const tList* list, int32_t position);
void* ListFindKey(const tList* list, int32_t key);
void* ListFind(const tList* list, const void* probe);
void ListSetDeleter(tList* list, tListDeleter deleter);
void ListSetCompare(tList* list, tListCompare compare);
void ListClear(tList* list);
void ListFree(tList* list);

}
