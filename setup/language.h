// The language of a setup run: "/lang:" when given, else the user's interface language,
// matched against the languages the program's resources hold.
#pragma once

#include <windows.h>

namespace setup {

// The user's default interface language: the system's answer where it has one, else the
// "Locale" of the default user or the user's "ResourceLocale"; 0 when none is found.
unsigned short UserDefaultLanguage();
// The language of the run. A requested language is kept as it is (the resources are matched
// to it when texts are loaded); otherwise the user's language where the resources hold it
// (or one of its primary language), else English.
unsigned short ChooseLanguage(HINSTANCE instance, unsigned short requested);
// Makes the language the one texts and dialogs are loaded in, and the thread's locale.
void UseLanguage(unsigned short language);

} // namespace setup
