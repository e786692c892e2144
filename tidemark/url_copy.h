// Heap copies of cache URLs, carried by posted messages from the worker to the progress
// dialog. Whoever ends up holding one frees it: the dialog when it takes the message, the
// worker when the post fails, the dialog again for messages still queued when it closes.
#pragma once

#include <string>

char* NewUrlCopy(const std::string& url);
void FreeUrlCopy(char* copy);
// Copies made and not yet freed, for diagnostics and tests.
long UrlCopiesAlive();
