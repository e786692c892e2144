#include "monitor/tests/monitor_test_support.h"

#include <fstream>
#include <sstream>

namespace monitortest {

std::vector<tLogLine> ReadPluginLog(const std::string& path)
{
    std::vector<tLogLine> lines;
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream fields(text);
        tLogLine line;
        fields >> line.module >> line.event >> line.thread;
        std::getline(fields, line.detail);
        if (!line.detail.empty() && line.detail[0] == ' ')
            line.detail.erase(0, 1);
        lines.push_back(line);
    }
    return lines;
}

int CountEvents(const std::vector<tLogLine>& lines, const std::string& event)
{
    int count = 0;
    for (const tLogLine& line : lines)
        count += line.event == event;
    return count;
}

} // namespace monitortest
