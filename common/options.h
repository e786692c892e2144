// Command-line option parser of the utility library. A command line becomes a tList of
// tOption records; "-name:a,b" and "/name:a,b" are options whose value is the zero-separated
// item list "a\0b\0\0", any other token is a nameless record whose value is the token.
#pragma once

#include <stddef.h>

#include "common/list.h"

struct tOption {
    char* name;  // none for a plain token
    char* value; // zero-separated item list, or none for an option without ":"
};

// A new option list; the caller frees it with ListFree.
tList* ParseOptions(const char* commandLine);
tOption* FindOption(tList* options, const char* name);
// A new zero-separated item list of the comma-separated text (malloc'ed, length + 2 bytes).
char* SplitList(const char* text, size_t length);
