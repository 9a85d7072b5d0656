// The chooser's language rule and its texts in the three languages. Shared
// by the Windows dialog and the dsc_chooser program; the texts are UTF-8.
#pragma once

#include <cstdint>

enum chooser_language {
    CHOOSER_LANG_SIMPLIFIED = 0,
    CHOOSER_LANG_TRADITIONAL = 1,
    CHOOSER_LANG_ENGLISH = 2,
};

struct chooser_texts {
    const char* title;
    const char* prompt;
    const char* ok;
    const char* cancel;
    const char* columns[3];  // name, issuer, key algorithm
};

// The texts of a language; anything out of range gets the English ones.
const chooser_texts* chooser_textsFor(int language);

// The language for a Windows locale identifier: Chinese (PRC) is Simplified,
// Chinese (Taiwan) and (Hong Kong) Traditional, any other language English.
// Chinese of any other region keeps `current`, the language shown last.
int chooser_languageForLcid(uint32_t lcid, int current);

// The language for a POSIX locale name such as "zh_TW.UTF-8", by the same
// rule: Simplified for zh_CN, Traditional for zh_TW and zh_HK, `current` for
// Chinese of any other region or none ("zh_MO", "zh_SG", "zh"), English for
// any other language.
int chooser_languageForLocaleName(const char* name, int current);

// The language of the process's locale environment: the first non-empty of
// LC_ALL, LC_MESSAGES and LANG (English when all are empty). The chooser
// program starts afresh each time, so its current language is the one it
// has at load: Simplified.
int chooser_languageFromEnvironment();
