#include "setup/language.h"

#include <stdlib.h>

#include <string>

#include "common/registry.h"
#include "common/strings.h"
#include "setup/res/resource.h"
#include "setup/work.h"

namespace setup {

namespace {

unsigned short LanguageOfLocaleText(const std::string& text)
{
    char* end = nullptr;
    unsigned long value = strtoul(text.c_str(), &end, 16);
    return !text.empty() && end && *end == '\0' ? static_cast<unsigned short>(LANGIDFROMLCID(value)) : 0;
}

} // namespace

unsigned short UserDefaultLanguage()
{
    typedef LANGID(WINAPI * tGetUserDefaultUILanguage)(void);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto query = kernel ? reinterpret_cast<tGetUserDefaultUILanguage>(GetProcAddress(kernel, "GetUserDefaultUILanguage"))
                        : nullptr;
    if (query)
        if (LANGID language = query())
            return language;
    CRegistryKey key;
    std::string text;
    if (key.Open(HKEY_USERS, ".DEFAULT\\Control Panel\\International") && key.GetString("Locale", text))
        if (unsigned short language = LanguageOfLocaleText(text))
            return language;
    if (key.Open(HKEY_CURRENT_USER, "Control Panel\\Desktop") && key.GetString("ResourceLocale", text))
        return LanguageOfLocaleText(text);
    return 0;
}

unsigned short ChooseLanguage(HINSTANCE instance, unsigned short requested)
{
    if (requested)
        return requested;
    std::vector<LANGID> offered = xUtilResourceLanguages(instance, RT_STRING, MAKEINTRESOURCEA(IDS_TITLE / 16 + 1));
    LANGID match = xUtilMatchLanguage(UserDefaultLanguage(), offered);
    return match ? match : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

void UseLanguage(unsigned short language)
{
    xUtilSetResourceLanguage(language);
    UseRunLanguage(language);
}

} // namespace setup
