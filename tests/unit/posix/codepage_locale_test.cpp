// The system code page of the Linux stand-in follows the locale named by the
// environment, as Windows' ANSI code page follows the system locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "run_command.h"
#include "tcore_codepage.h"
#include "temp_dir.h"
#include "tcore_mem.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// glibc's newlocale keeps the list it builds from LOCPATH and never frees
// it; that leak is the C library's, so the leak checker looks away while a
// test sets LOCPATH.
struct CLibraryLeaksIgnored {
#if defined(__SANITIZE_ADDRESS__)
    CLibraryLeaksIgnored() { __lsan_disable(); }
    ~CLibraryLeaksIgnored() { __lsan_enable(); }
#endif
};

struct LocaleEnv {
    explicit LocaleEnv(const char* lcAll) { setenv("LC_ALL", lcAll, 1); }
    ~LocaleEnv() { unsetenv("LC_ALL"); }
};

std::string mbToUtf8(const std::string& mb)
{
    char* out = nullptr;
    int n = tcore_mbToUtf8(mb.c_str(), 0, &out);
    std::string result = n < 0 ? "<" + std::to_string(n) + ">" : std::string(out);
    tcore_free(out);
    return result;
}

std::string utf8ToMb(const std::string& utf8)
{
    char* out = nullptr;
    int n = tcore_utf8ToMb(utf8.c_str(), &out);
    std::string result = n < 0 ? "<" + std::to_string(n) + ">" : std::string(out);
    tcore_free(out);
    return result;
}

const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";

}  // namespace

TEST(LocaleCodePageTest, FollowsTheLocaleCodeset)
{
    struct Case {
        const char* locale;
        std::string systemText;
    };
    const Case cases[] = {
        {"zh_CN.GB18030", kZhongWenGbk},         {"zh_CN.GBK", kZhongWenGbk}, {"zh_CN.UTF-8", kZhongWenUtf8},
        {"zh_CN.utf8", kZhongWenUtf8},           {"C", kZhongWenUtf8},  // no codeset named: UTF-8
        {"zh_TW.BIG5@euro", "\xA4\xA4\xA4\xE5"},
    };
    for (const auto& c : cases) {
        LocaleEnv env(c.locale);
        EXPECT_EQ(mbToUtf8(c.systemText), kZhongWenUtf8) << c.locale;
        EXPECT_EQ(utf8ToMb(kZhongWenUtf8), c.systemText) << c.locale;
    }
}

TEST(LocaleCodePageTest, UnrepresentableCharactersBecomeTheDefaultCharacter)
{
    LocaleEnv env("en_US.ISO-8859-1");
    EXPECT_EQ(utf8ToMb("a" + kZhongWenUtf8 + "\xC3\xA9"), "a??\xE9");
}

TEST(LocaleCodePageTest, UndecodableBytesBecomeReplacementCharacters)
{
    LocaleEnv env("zh_CN.GB18030");
    // A lone lead byte at the end cannot be decoded.
    EXPECT_EQ(mbToUtf8("ab\x81"), "ab\xEF\xBF\xBD");
}

// A locale named without its codeset has the one the C library gives it:
// zh_CN is GB2312 and zh_TW BIG5 in glibc. The locales are generated into a
// folder of the test's own (LOCPATH), so the machine need not have them.
TEST(LocaleCodePageTest, LocaleWithoutCodesetTakesTheLibrarysCodeset)
{
    if (!command_exists("localedef")) GTEST_SKIP() << "localedef is not installed";
    TempDir folder;
    struct Case {
        const char* locale;
        const char* charmap;
        std::string systemText;
    };
    const Case cases[] = {
        {"zh_CN", "GB2312", kZhongWenGbk},
        {"zh_TW", "BIG5", "\xA4\xA4\xA4\xE5"},
    };
    for (const auto& c : cases)
        ASSERT_EQ(command_run({"localedef", "-i", c.locale, "-f", c.charmap, folder.file(c.locale)}), 0) << c.locale;
    [[maybe_unused]] CLibraryLeaksIgnored glibcLocPath;
    setenv("LOCPATH", folder.path().c_str(), 1);
    for (const auto& c : cases) {
        LocaleEnv env(c.locale);
        EXPECT_EQ(mbToUtf8(c.systemText), kZhongWenUtf8) << c.locale;
        EXPECT_EQ(utf8ToMb(kZhongWenUtf8), c.systemText) << c.locale;
    }
    {
        LocaleEnv env("xx_NOWHERE");  // no such locale: UTF-8, as with none named
        EXPECT_EQ(utf8ToMb(kZhongWenUtf8), kZhongWenUtf8);
    }
    unsetenv("LOCPATH");
}
