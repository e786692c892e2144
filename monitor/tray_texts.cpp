#include "monitor/tray_texts.h"

#include <map>

std::string FormatText(const std::string& format, const std::string& argument)
{
    for (size_t i = 0; i + 1 < format.size(); ++i)
        if (format[i] == '%' && (format[i + 1] == 's' || format[i + 1] == 'd'))
            return format.substr(0, i) + argument + format.substr(i + 2);
    return format;
}

std::string TrayTip(const tTipTexts& texts, size_t devices)
{
    const std::string summary = devices == 0   ? texts.none
                                : devices == 1 ? texts.one
                                               : FormatText(texts.many, std::to_string(devices));
    return summary.empty() ? texts.title : texts.title + "\n" + summary;
}

void DiffNames(const std::vector<std::string>& before, const std::vector<std::string>& after,
               std::vector<std::string>& appeared, std::vector<std::string>& gone)
{
    std::map<std::string, int> count;
    for (const std::string& name : before)
        ++count[name];
    for (const std::string& name : after)
        if (--count[name] < 0)
            appeared.push_back(name);
    // What is left over of `before`, in its order.
    for (const std::string& name : before) {
        auto left = count.find(name);
        if (left->second > 0) {
            gone.push_back(name);
            --left->second;
        }
    }
}

std::string NoticeText(const tNoticeTexts& texts, const std::vector<std::string>& appeared,
                       const std::vector<std::string>& gone, size_t maxLines)
{
    std::vector<std::string> lines;
    for (const std::string& name : appeared)
        lines.push_back(FormatText(texts.found, name));
    for (const std::string& name : gone)
        lines.push_back(FormatText(texts.gone, name));
    if (maxLines > 0 && lines.size() > maxLines) {
        size_t rest = lines.size() - (maxLines - 1);
        lines.resize(maxLines - 1);
        lines.push_back(FormatText(texts.more, std::to_string(rest)));
    }
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}
