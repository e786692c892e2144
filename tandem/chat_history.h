// The chat box's history: "name: text" lines joined by "\r\n", kept below a size limit by
// dropping the oldest lines before a new one is added.
#pragma once

#include <stddef.h>

#include <string>

const size_t kChatHistoryLimit = 28974;

// How many characters go from the front before a line is added: whole first lines, each
// with its line break, while more than the limit remains.
size_t HistoryTrimCount(const std::string& history, size_t limit = kChatHistoryLimit);
// The text inserted at the end: the line, after a line break unless the history is empty.
std::string HistoryAddition(const std::string& historyAfterTrim, const std::string& line);
// Both steps on a text (the edit control does the same with selections).
void AppendHistoryLine(std::string& history, const std::string& line, size_t limit = kChatHistoryLimit);
