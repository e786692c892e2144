#include "common/strings.h"

#include <atomic>

namespace {

std::atomic<LANGID> g_resourceLanguage{0};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR parameter)
{
    reinterpret_cast<std::vector<LANGID>*>(parameter)->push_back(language);
    return TRUE;
}

// The text of one string-table entry in the resource language; false when that language has
// no such block, so that the caller falls back to the system's choice.
bool LoadStringInLanguage(HINSTANCE instance, UINT id, std::string& out)
{
    HRSRC found = xUtilFindResource(instance, RT_STRING, MAKEINTRESOURCEA(id / 16 + 1));
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(instance, found);
    const WCHAR* entry = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    DWORD size = SizeofResource(instance, found) / sizeof(WCHAR);
    if (!entry)
        return false;
    // A block holds 16 counted texts; walk to ours without reading past the block.
    const WCHAR* end = entry + size;
    for (UINT index = 0; index < id % 16; ++index) {
        if (entry >= end)
            return false;
        entry += 1 + *entry;
    }
    if (entry >= end || entry + 1 + *entry > end)
        return false;
    int length = *entry;
    out.clear();
    if (length == 0)
        return true;
    int bytes = WideCharToMultiByte(CP_ACP, 0, entry + 1, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    out.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, entry + 1, length, &out[0], bytes, nullptr, nullptr);
    return true;
}

} // namespace

void xUtilSetResourceLanguage(LANGID language)
{
    g_resourceLanguage = language;
}

LANGID xUtilGetResourceLanguage(void)
{
    return g_resourceLanguage;
}

std::vector<LANGID> xUtilResourceLanguages(HMODULE module, LPCSTR type, LPCSTR name)
{
    std::vector<LANGID> languages;
    EnumResourceLanguagesA(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

LANGID xUtilMatchLanguage(LANGID wanted, const std::vector<LANGID>& offered)
{
    for (LANGID language : offered)
        if (language == wanted)
            return language;
    for (LANGID language : offered)
        if (PRIMARYLANGID(language) == PRIMARYLANGID(wanted))
            return language;
    return 0;
}

HRSRC xUtilFindResource(HMODULE module, LPCSTR type, LPCSTR name)
{
    LANGID wanted = g_resourceLanguage;
    if (wanted) {
        LANGID match = xUtilMatchLanguage(wanted, xUtilResourceLanguages(module, type, name));
        if (match)
            if (HRSRC found = FindResourceExA(module, type, name, match))
                return found;
    }
    return FindResourceA(module, name, type);
}

std::string xUtilLoadString(HINSTANCE instance, UINT id)
{
    std::string text;
    if (g_resourceLanguage && LoadStringInLanguage(instance, id, text))
        return text;
    // LoadStringA cannot say how long a text is: grow until it fits.
    text.assign(256, '\0');
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
