// The dsc_chooser program takes its language from the locale environment.
#include <gtest/gtest.h>

#include "chooser_texts.h"
#include "scoped_env.h"

TEST(ChooserLanguage, ComesFromLcAllThenLcMessagesThenLang)
{
    struct Case {
        const char *lcAll, *lcMessages, *lang;
        int language;
    } cases[] = {
        {"zh_TW.UTF-8", "zh_CN.UTF-8", "en_US.UTF-8", CHOOSER_LANG_TRADITIONAL},
        {nullptr, "zh_CN.UTF-8", "zh_TW.UTF-8", CHOOSER_LANG_SIMPLIFIED},
        {"", "", "zh_HK.UTF-8", CHOOSER_LANG_TRADITIONAL},  // empty counts as unset
        {"en_US.UTF-8", nullptr, "zh_CN.UTF-8", CHOOSER_LANG_ENGLISH},
        {nullptr, nullptr, "zh_SG.UTF-8", CHOOSER_LANG_SIMPLIFIED},  // the language at load
        {"zh_MO.UTF-8", nullptr, "en_US.UTF-8", CHOOSER_LANG_SIMPLIFIED},
        {nullptr, nullptr, "zh", CHOOSER_LANG_SIMPLIFIED},
        {nullptr, nullptr, nullptr, CHOOSER_LANG_ENGLISH},
    };
    for (const Case& c : cases) {
        ScopedEnv lcAll("LC_ALL", c.lcAll), lcMessages("LC_MESSAGES", c.lcMessages), lang("LANG", c.lang);
        EXPECT_EQ(chooser_languageFromEnvironment(), c.language)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}
