#include "common/strings.h"

std::string xUtilLoadString(HINSTANCE instance, UINT id)
{
    // LoadStringA cannot say how long a text is: grow until it fits.
    std::string text(256, '\0');
    for (;;) {
        int length = LoadStringA(instance, id, &text[0], static_cast<int>(text.size()));
        if (length <= 0)
            return std::string();
        if (static_cast<size_t>(length) < text.size() - 1) {
            text.resize(static_cast<size_t>(length));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

std::string xUtilTruncateText(const std::string& text, size_t maxBytes, UINT codePage)
{
    if (text.size() <= maxBytes)
        return text;
    if (codePage == CP_ACP)
        codePage = GetACP();
    size_t cut = 0;
    if (codePage == CP_UTF8) {
        cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    } else {
        while (cut < text.size()) {
            size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[cut])) ? 2 : 1;
            if (cut + step > maxBytes)
                break;
            cut += step;
        }
    }
    return text.substr(0, cut);
}
