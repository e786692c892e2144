// Heap copies of cache URLs, carried by posted messages from the worker to the progress
// dialog. Whoever ends up holding one frees it: the dialog when it takes the message, the
// worker when the post fails, the dialog again for messages still queued when it closes.
// Every copy is registered, so that a message of the same number posted by some other
// program never makes the dialog read or free memory that is not a copy.
#pragma once

#include <string>

char* NewUrlCopy(const std::string& url);
// Takes the URL out of a copy and frees it; false (and nothing freed) for anything that is
// not a live copy.
bool TakeUrlCopy(char* copy, std::string& url);
void FreeUrlCopy(char* copy);
// Copies made and not yet freed, for diagnostics and tests.
long UrlCopiesAlive();
