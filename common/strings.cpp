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
