#include "tandem/chat_history.h"

size_t HistoryTrimCount(const std::string& history, size_t limit)
{
    size_t cut = 0;
    while (history.size() - cut > limit) {
        size_t end = history.find("\r\n", cut);
        if (end == std::string::npos)
            return history.size();
        cut = end + 2;
    }
    return cut;
}

std::string HistoryAddition(const std::string& historyAfterTrim, const std::string& line)
{
    return historyAfterTrim.empty() ? line : "\r\n" + line;
}

void AppendHistoryLine(std::string& history, const std::string& line, size_t limit)
{
    history.erase(0, HistoryTrimCount(history, limit));
    history += HistoryAddition(history, line);
}
