// The chooser's platform-independent rules: how a row is read, which
// language a locale gets, and the texts of each language.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

#include "chooser_expected.h"
#include "chooser_row.h"
#include "chooser_texts.h"
#include "dsc_chooser.h"

TEST(ChooserRow, SplitsAtTheFirstThreeColons)
{
    struct Case {
        const char* text;
        bool split;
        int index;
        const char *algorithm, *name, *issuer;
    } cases[] = {
        {"0:SM2:Alice:Test CA", true, 0, "SM2", "Alice", "Test CA"},
        {"3:RSA:a:b:c:d", true, 3, "RSA", "a", "b:c:d"},
        {"1:SM2::CN=Root, O=Acme", true, 1, "SM2", "", "CN=Root, O=Acme"},
        {"4:::", true, 4, "", "", ""},
        {"12:SM2:name:", true, 12, "SM2", "name", ""},
        {"-2:SM2:n:i", true, -2, "SM2", "n", "i"},
        {"12abc:SM2:n:i", true, 12, "SM2", "n", "i"},             // digits up to the first other character
        {"x:SM2:n:i", true, 0, "SM2", "n", "i"},                  // no digits at all
        {"99999999999:SM2:n:i", true, INT_MAX, "SM2", "n", "i"},  // held to the range of int
        {"-99999999999:SM2:n:i", true, INT_MIN, "SM2", "n", "i"},
        {"5:SM2:Ops\\: Desk:CN=CA\\:1", true, 5, "SM2", "Ops: Desk", "CN=CA:1"},  // escaped colons stay in their field
        {"6:SM2:a\\\\:b", true, 6, "SM2", "a\\", "b"},      // an escaped backslash ends before ':'
        {"7:SM2:a\\b:c\\", true, 7, "SM2", "a\\b", "c\\"},  // a lone backslash is itself
        {"8:SM2:n\\:i", false, 0, "", "", ""},              // the only third colon is escaped
        {"1:SM2:name", false, 0, "", "", ""},
        {"no colon", false, 0, "", "", ""},
        {"", false, 0, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        chooser_row<char> row = {-99, {}, {}, {}};
        ASSERT_EQ(chooser_splitRow(std::string_view(c.text), &row), c.split);
        if (!c.split) {
            EXPECT_EQ(row.index, -99);
            continue;
        }
        EXPECT_EQ(row.index, c.index);
        EXPECT_EQ(row.algorithm, c.algorithm);
        EXPECT_EQ(row.name, c.name);
        EXPECT_EQ(row.issuer, c.issuer);
    }
}

TEST(ChooserRow, AnEscapedFieldReadsBackAsItWas)
{
    for (std::string field : {"Ops: Desk", "a\\b", "\\:", "::", "trailing\\", "", "\xE5\xBC\xA0:\xE4\xB8\x89"}) {
        SCOPED_TRACE(field);
        std::string text = "3:" + chooser_escapeField<char>("SM2") + ":" + chooser_escapeField<char>(field) + ":" +
                           chooser_escapeField<char>(field);
        chooser_row<char> row;
        ASSERT_TRUE(chooser_splitRow(std::string_view(text), &row));
        EXPECT_EQ(row.index, 3);
        EXPECT_EQ(row.name, field);
        EXPECT_EQ(row.issuer, field);
    }
}

TEST(ChooserRow, SplitsWideRows)
{
    chooser_row<wchar_t> row;
    ASSERT_TRUE(chooser_splitRow(std::wstring_view(L"15:SM2:\x5F20\x4E09:CN=CA:x"), &row));
    EXPECT_EQ(row.index, 15);
    EXPECT_EQ(row.algorithm, L"SM2");
    EXPECT_EQ(row.name, L"\x5F20\x4E09");
    EXPECT_EQ(row.issuer, L"CN=CA:x");
}

TEST(ChooserLanguage, FollowsTheWindowsLocaleIdentifier)
{
    struct Case {
        uint32_t lcid;
        int current;
        int language;
    } cases[] = {
        {0x0804, CHOOSER_LANG_ENGLISH, CHOOSER_LANG_SIMPLIFIED},      // Chinese (PRC)
        {0x00020804, CHOOSER_LANG_ENGLISH, CHOOSER_LANG_SIMPLIFIED},  // PRC with a stroke-order sort
        {0x0404, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_TRADITIONAL},  // Chinese (Taiwan)
        {0x0C04, CHOOSER_LANG_ENGLISH, CHOOSER_LANG_TRADITIONAL},     // Chinese (Hong Kong)
        {0x1004, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_SIMPLIFIED},   // Singapore keeps what was shown
        {0x1004, CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_TRADITIONAL},
        {0x1404, CHOOSER_LANG_ENGLISH, CHOOSER_LANG_ENGLISH},          // Macau too
        {0x0004, CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_TRADITIONAL},  // Chinese without a region
        {0x0409, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
        {0x0411, CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_ENGLISH},  // Japanese
        {0x0412, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},   // Korean
        {0x0000, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
        {0x0904, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},  // language 0x104, not Chinese
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lcid);
        EXPECT_EQ(chooser_languageForLcid(c.lcid, c.current), c.language);
    }
}

TEST(ChooserLanguage, FollowsThePosixLocaleName)
{
    struct Case {
        const char* name;
        int current;
        int language;
    } cases[] = {
        {"zh_CN.UTF-8", CHOOSER_LANG_ENGLISH, CHOOSER_LANG_SIMPLIFIED},
        {"zh_CN", CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_SIMPLIFIED},
        {"zh_CN@pinyin", CHOOSER_LANG_ENGLISH, CHOOSER_LANG_SIMPLIFIED},
        {"zh_TW.UTF-8", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_TRADITIONAL},
        {"zh_HK.BIG5-HKSCS", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_TRADITIONAL},
        // Chinese of another region, or of none, keeps the current language.
        {"zh_MO.UTF-8", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_SIMPLIFIED},
        {"zh_MO.UTF-8", CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_TRADITIONAL},
        {"zh", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_SIMPLIFIED},
        {"zh.UTF-8", CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_TRADITIONAL},
        {"zh_SG.GBK", CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_TRADITIONAL},
        {"zh_CNX", CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_TRADITIONAL},
        {"zhx_CN", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
        {"en_US.UTF-8", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
        {"C", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
        {"", CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
        {nullptr, CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_ENGLISH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name == nullptr ? "(null)" : c.name);
        EXPECT_EQ(chooser_languageForLocaleName(c.name, c.current), c.language);
    }
}

TEST(ChooserTexts, AreTheTextsOfEachLanguage)
{
    for (int language : {CHOOSER_LANG_SIMPLIFIED, CHOOSER_LANG_TRADITIONAL, CHOOSER_LANG_ENGLISH}) {
        SCOPED_TRACE(language);
        const chooser_texts* texts = chooser_textsFor(language);
        const ChooserExpectedTexts& expected = chooser_expectedTexts(language);
        EXPECT_EQ(texts->title, expected.title);
        EXPECT_EQ(texts->prompt, expected.prompt);
        EXPECT_EQ(texts->ok, expected.ok);
        EXPECT_EQ(texts->cancel, expected.cancel);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(texts->columns[i], expected.columns[i]);
    }
    EXPECT_EQ(chooser_textsFor(7), chooser_textsFor(CHOOSER_LANG_ENGLISH));
    EXPECT_EQ(chooser_textsFor(-1), chooser_textsFor(CHOOSER_LANG_ENGLISH));
}

TEST(ChooserShow, RefusesArgumentsItCannotShowWithoutShowingAnything)
{
    const WCHAR* rows[] = {L"0:SM2:a:b", L"1:SM2:c:d"};
    int chosen = -7;
    EXPECT_EQ(dsc_chooser_show(rows, 2, nullptr), DSC_CHOOSER_UNAVAILABLE);
    EXPECT_EQ(dsc_chooser_show(nullptr, 2, &chosen), DSC_CHOOSER_UNAVAILABLE);
    EXPECT_EQ(dsc_chooser_show(rows, -1, &chosen), DSC_CHOOSER_UNAVAILABLE);
    EXPECT_EQ(chosen, -7);
}
