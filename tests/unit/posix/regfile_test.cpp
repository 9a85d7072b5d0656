// The Linux registry stand-in reads the .reg files installers write.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dsc_jna.h"
#include "posix_regfile.h"
#include "tcore_list.h"
#include "tcore_wreg.h"
#include "temp_dir.h"
#include "test_registry.h"
#include "token_vendor.h"
#include "trace_capture.h"

namespace {

class RegFileTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { setenv("DSC_JNA_REGISTRY", dir.path().c_str(), 1); }
    void TearDown() override { unsetenv("DSC_JNA_REGISTRY"); }

    std::string text(const char* key, const char* value)
    {
        char out[256] = {0};
        int n = tcore_wreg_getValue(key, value, out);
        return n < 0 ? "error " + std::to_string(n) : std::string(out);
    }
    std::vector<std::string> keys(const char* key)
    {
        tcore_list* list = nullptr;
        int n = tcore_wreg_getKeys(key, &list);
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i) out.emplace_back(static_cast<const char*>(list->items[i]));
        tcore_list_free(list);
        return out;
    }
    DWORD typeOf(const wchar_t* key, const wchar_t* value, std::vector<BYTE>* data = nullptr)
    {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return 9999;
        DWORD type = 0, size = 0;
        RegQueryValueExW(h, value, nullptr, &type, nullptr, &size);
        if (data != nullptr) {
            data->resize(size);
            RegQueryValueExW(h, value, nullptr, nullptr, data->data(), &size);
        }
        RegCloseKey(h);
        return type;
    }
};

std::string utf16le(const std::u16string& s, bool bom = true)
{
    std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
    for (char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

std::u32string codePoints(const std::u16string& s)
{
    std::u32string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size()) u = 0x10000 + ((u - 0xD800) << 10) + (s[++i] - 0xDC00);
        out.push_back(u);
    }
    return out;
}

std::string utf8(const std::u16string& s)
{
    std::string out;
    for (char32_t cp : codePoints(s)) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        out.push_back(static_cast<char>(((0xFF00 >> (extra + 1)) & 0xFF) | (cp >> (6 * extra))));
        for (int i = extra - 1; i >= 0; --i) out.push_back(static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F)));
    }
    return out;
}

}  // namespace

TEST_F(RegFileTest, ReadsUtf16FilesWithBom)
{
    dir.write("a.reg", utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n"
                               u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\\u5F20\u4E09]\r\n"
                               u"\"SKFImagePath\"=\"/opt/\u5F20/skf.so\"\r\n"));
    EXPECT_EQ(keys("SOFTWARE\\V"), std::vector<std::string>{"\xE5\xBC\xA0\xE4\xB8\x89"});
    EXPECT_EQ(text("SOFTWARE\\V\\\xE5\xBC\xA0\xE4\xB8\x89", "SKFImagePath"), "/opt/\xE5\xBC\xA0/skf.so");
}

TEST_F(RegFileTest, ReadsRegedit4AndUtf8WithBom)
{
    dir.write("a.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"four\"\n");
    dir.write("b.reg",
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n\"v\"=\"bom\"\n");
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "four");
    EXPECT_EQ(text("SOFTWARE\\B", "v"), "bom");
}

TEST_F(RegFileTest, FileWithoutHeaderIsIgnored)
{
    dir.write("a.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"x\"\n");
    dir.write("b.reg", std::string("\0\0\0garbage", 10));
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "error -110021");
}

TEST_F(RegFileTest, ValueKindsEscapesAndContinuations)
{
    dir.write("a.reg", "Windows Registry Editor Version 5.00\r\n"
                       "; a comment\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n"
                       "@=\"the default\"\r\n"
                       "\"Escaped\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"
                       "\"Dword\"=dword:0000004a\r\n"
                       "\"Expand\"=hex(2):25,00,41,00,\\\r\n"
                       "  25,00,00,00\r\n"
                       "\"Binary\"=hex:01,02,\\\r\n"
                       "    03\r\n"
                       "  \"Spaced\" = \"ok\"\r\n");
    EXPECT_EQ(text("SOFTWARE\\K", ""), "the default");
    EXPECT_EQ(text("SOFTWARE\\K", "Escaped"), "C:\\dir\\\"q\"");
    EXPECT_EQ(text("SOFTWARE\\K", "Expand"), "%A%");
    EXPECT_EQ(text("SOFTWARE\\K", "Spaced"), "ok");
    std::vector<BYTE> data;
    EXPECT_EQ(typeOf(L"SOFTWARE\\K", L"Dword", &data), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<BYTE>{0x4A, 0, 0, 0}));
    EXPECT_EQ(typeOf(L"SOFTWARE\\K", L"Binary", &data), static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, (std::vector<BYTE>{1, 2, 3}));
    EXPECT_EQ(typeOf(L"SOFTWARE\\K", L"Expand"), static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(typeOf(L"SOFTWARE\\K", L""), static_cast<DWORD>(REG_SZ));
}

TEST_F(RegFileTest, MalformedLinesAreSkippedAlone)
{
    dir.write("a.reg", "Windows Registry Editor Version 5.00\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\n"
                       "\"before\"=\"1\"\n"
                       "\"unterminated=\"x\n"
                       "\"BadDword\"=dword:xyz\n"
                       "\"TooLong\"=dword:123456789\n"
                       "\"BadHex\"=hex:1,zz\n"
                       "\"Trailing\"=\"x\" junk\n"
                       "garbage line\n"
                       "\"after\"=\"2\"\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n"
                       "\"lost\"=\"3\"\n"
                       "[HKEY_NOWHERE\\X]\n"
                       "\"lost\"=\"4\"\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\L]\n"
                       "\"last\"=\"5\"\n");
    EXPECT_EQ(text("SOFTWARE\\K", "before"), "1");
    EXPECT_EQ(text("SOFTWARE\\K", "after"), "2");
    EXPECT_EQ(text("SOFTWARE\\L", "last"), "5");
    for (const char* bad : {"BadDword", "TooLong", "BadHex", "Trailing"})
        EXPECT_EQ(text("SOFTWARE\\K", bad), "error -110027") << bad;
    EXPECT_EQ(keys("SOFTWARE"), (std::vector<std::string>{"K", "L"}));
}

TEST_F(RegFileTest, FilesMergeInNameOrderWithDeletions)
{
    dir.write("10-base.reg", "Windows Registry Editor Version 5.00\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\b]\n\"v\"=\"base\"\n\"gone\"=\"x\"\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\A]\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\C\\Deep]\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\d]\n");
    dir.write("20-change.REG", "Windows Registry Editor Version 5.00\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\B]\n\"V\"=\"changed\"\n\"gone\"=-\n"
                               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\C]\n");
    dir.write("notes.txt", "not a registry file");
    EXPECT_EQ(keys("SOFTWARE\\P"), (std::vector<std::string>{"A", "b", "d"}));
    EXPECT_EQ(text("SOFTWARE\\P\\b", "v"), "changed");
    EXPECT_EQ(text("SOFTWARE\\P\\b", "gone"), "error -110027");
    EXPECT_EQ(text("SOFTWARE\\P\\C\\Deep", "x"), "error -110021");
}

TEST_F(RegFileTest, ChangedFilesAreReadAgain)
{
    dir.write("a.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"one\"\n");
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "one");
    dir.write("a.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"second\"\n");
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "second");
    setenv("DSC_JNA_REGISTRY", dir.file("a.reg").c_str(), 1);  // a single file
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "second");
}

TEST_F(RegFileTest, OpenHandleKeepsItsSnapshot)
{
    dir.write("a.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"one\"\n");
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\A", 0, KEY_READ, &h), ERROR_SUCCESS);
    dir.write("a.reg", "REGEDIT4\n");
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "error -110021");
    wchar_t buffer[8] = {0};
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExW(h, L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(buffer), L"one");
    RegCloseKey(h);
}

// Keys deeper than Windows allows are refused one by one, with a trace; the
// keys around them are read as usual.
TEST_F(RegFileTest, KeysDeeperThanWindowsAllowsAreRefused)
{
    auto path = [](size_t levels) {
        std::string p = "HKEY_LOCAL_MACHINE";
        for (size_t i = 0; i < levels; ++i) p += "\\k";
        return p;
    };
    std::wstring deepest = L"k";
    for (int i = 1; i < 512; ++i) deepest += L"\\k";
    dir.write("a.reg", "REGEDIT4\n[" + path(100000) + "]\n\"v\"=\"too deep\"\n[" + path(513) +
                           "]\n\"v\"=\"too deep\"\n[" + path(512) +
                           "]\n\"v\"=\"deepest\"\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"one\"\n");
    TraceCapture traces;
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "one");
    std::vector<BYTE> data;
    EXPECT_EQ(typeOf(deepest.c_str(), L"v", &data), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data())), L"deepest");
    EXPECT_EQ(typeOf((deepest + L"\\k").c_str(), L"v"), 9999u);
    EXPECT_TRUE(traces.contains("key of 100000 levels is deeper than 512"));
    EXPECT_TRUE(traces.contains("key of 513 levels is deeper than 512"));
}

// Values larger than a registry value can be are refused, with a trace.
TEST_F(RegFileTest, ValuesLargerThanWindowsAcceptsAreRefused)
{
    std::string hugeHex = "hex:00";
    for (int i = 1; i <= 1024 * 1024; ++i) hugeHex += ",00";  // 1 MiB and one byte
    dir.write("a.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
                       "\"fits\"=\"" +
                           std::string(400000, 'x') +
                           "\"\n"  // 800,002 bytes in UTF-16
                           "\"text\"=\"" +
                           std::string(600000, 'x') +
                           "\"\n"  // 1,200,002 bytes
                           "\"binary\"=" +
                           hugeHex +
                           "\n"
                           "\"huge\"=\"" +
                           std::string(5 * 1024 * 1024, 'x') +
                           "\"\n"
                           "\"v\"=\"one\"\n");
    TraceCapture traces;
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "one");
    EXPECT_EQ(typeOf(L"SOFTWARE\\A", L"fits"), static_cast<DWORD>(REG_SZ));
    for (const char* refused : {"text", "binary", "huge"}) EXPECT_EQ(text("SOFTWARE\\A", refused), "error -110027");
    EXPECT_TRUE(traces.contains("value of 1200002 bytes is larger than 1048576"));
    EXPECT_TRUE(traces.contains("value of 1048577 bytes is larger than 1048576"));
    EXPECT_TRUE(traces.contains("value text of 5242883 characters is too long"));
}

// A value far over the limit is refused as it is read: on one line or on
// many continued ones, in either encoding, and what follows it in the same
// key and in the next key is still read.
TEST_F(RegFileTest, OverLongValueIsRefusedAndTheRestOfTheFileRead)
{
    const size_t chars = 12 * 1024 * 1024;
    std::string continued = "hex:";
    for (size_t i = 0; i < chars / 75; ++i)
        continued += "00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n  ";
    continued += "00";
    struct Case {
        const char* name;
        std::string data;
        const char* trace;
    } cases[] = {
        {"one line", "\"" + std::string(chars, 'x') + "\"", "value text of 12582915 characters is too long"},
        {"continued hex", continued, "is too long, refused"},
    };
    for (const auto& c : cases) {
        for (bool utf16 : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (utf16 ? " in UTF-16" : " in UTF-8"));
            std::string file = "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"
                               "\"before\"=\"1\"\r\n\"big\"=" +
                               c.data +
                               "\r\n\"after\"=\"2\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n\"next\"=\"3\"\r\n";
            dir.write("a.reg", utf16 ? utf16le(std::u16string(file.begin(), file.end())) : file);
            TraceCapture traces;
            EXPECT_EQ(text("SOFTWARE\\A", "big"), "error -110027");
            EXPECT_EQ(text("SOFTWARE\\A", "before"), "1");
            EXPECT_EQ(text("SOFTWARE\\A", "after"), "2");
            EXPECT_EQ(text("SOFTWARE\\B", "next"), "3");
            EXPECT_TRUE(traces.contains(c.trace));
            dir.write("a.reg", "REGEDIT4\n");  // the next case is a change of the file
        }
    }
}

// A line too long to keep is refused even when the part behind its name
// would fit: a value read from the part kept would be cut short.
TEST_F(RegFileTest, OverLongLineWithALongNameIsRefusedNotCut)
{
    std::string name(1200000, 'n');
    std::string hex = "hex:01";
    for (int i = 1; i < 1040000; ++i) hex += ",01";  // within the value limit, the line over the one kept
    dir.write("a.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"" + name + "\"=" + hex + "\n\"v\"=\"one\"\n");
    TraceCapture traces;
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "one");
    EXPECT_EQ(typeOf(L"SOFTWARE\\A", std::wstring(name.begin(), name.end()).c_str()), 0u);
    EXPECT_TRUE(traces.contains("is too long, refused"));
}

// A key line longer than any key within the depth limit is refused; the
// values behind it go nowhere, the next key is read.
TEST_F(RegFileTest, OverLongKeyLineIsRefused)
{
    dir.write("a.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + std::string(5 * 1024 * 1024, 'k') +
                           "]\n\"lost\"=\"1\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"one\"\n");
    TraceCapture traces;
    EXPECT_EQ(text("SOFTWARE\\A", "v"), "one");
    EXPECT_EQ(keys("SOFTWARE"), std::vector<std::string>{"A"});
    EXPECT_TRUE(traces.contains("key line of 5242910 characters is too long"));
}

// The file is read in pieces; a character, a surrogate pair or a CR LF cut
// by a piece's end reads as it would whole.
TEST_F(RegFileTest, TextCutBetweenPiecesReadsWhole)
{
    const size_t piece = 64 * 1024;
    struct Case {
        const char* name;
        std::u16string text;  // what the value holds
    } cases[] = {
        {"three-byte UTF-8", u"\u4E2D\u6587"},
        {"four-byte UTF-8, a surrogate pair in UTF-16", u"\U0001F600\U0001F601"},
    };
    for (const auto& c : cases) {
        for (bool utf16 : {false, true}) {
            for (size_t shift = 0; shift < 6; ++shift) {
                SCOPED_TRACE(std::string(c.name) + (utf16 ? " in UTF-16, shift " : " in UTF-8, shift ") +
                             std::to_string(shift));
                std::u16string head = u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"
                                      u"\"pad\"=\"";
                std::u16string tail = u"\"\r\n\"v\"=\"";
                // Puts the value's text a few bytes before the end of the first piece.
                size_t unit = utf16 ? 2 : 1;
                size_t headBytes = (head.size() + tail.size()) * unit + (utf16 ? 2 : 0);
                size_t pad = (piece - headBytes - shift) / unit;
                std::u16string whole = head + std::u16string(pad, u'p') + tail + c.text + u"\"\r\n\"w\"=\"ok\"\r\n";
                dir.write("a.reg", utf16 ? utf16le(whole) : utf8(whole));
                std::vector<BYTE> data;
                ASSERT_EQ(typeOf(L"SOFTWARE\\A", L"v", &data), static_cast<DWORD>(REG_SZ));
                std::wstring expected;
                for (char32_t u : codePoints(c.text)) expected.push_back(static_cast<wchar_t>(u));
                EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data())), expected);
                EXPECT_EQ(text("SOFTWARE\\A", "w"), "ok");
            }
        }
    }
}

// The files are often first read before the log is on (its path is a
// registry value) and then kept while they do not change: what they refused
// still reaches the log, once, when a later call succeeds.
TEST(RegFileLogDeathTest, RefusalReachesTheLogOpenedAfterTheFilesWereRead)
{
    EXPECT_EXIT(
        {
            TempDir dir;
            TokenVendor vendor(libraryFileName("vendor_log"),
                               tokenState({tokenDevice("d1", "A", "SN1", {tokenApplication("app", "111111", {})})}));
            test_registry_install(
                providerRegistration({{"Vendor 1", vendor.path()}}) +
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Log]\r\n\"SignLogPath\"=" + regString(dir.file("sign.log")) +
                "\r\n\"Big\"=\"" + std::string(5 * 1024 * 1024, 'x') + "\"\r\n");
            char out[64] = {0};
            bool ok = Sgn_SetLog(nullptr) == 0 && Sgn_Dev_Enum("|", out, sizeof out) == 0 && std::string(out) == "A" &&
                      Sgn_Dev_Enum("|", out, sizeof out) == 0 && Sgn_CloseLog() == 0;
            std::string log = dir.read("sign.log");
            const std::string refusal = "value text of 5242883 characters is too long, refused";
            size_t first = log.find(refusal);
            bool once = first != std::string::npos && log.find(refusal, first + 1) == std::string::npos;
            if (!ok || !once) std::fprintf(stderr, "ok %d, log: %s\n", ok, log.c_str());
            std::exit(ok && once ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// A tree far deeper than any file may create is released without a call per
// level (a recursive release overflowed the stack).
TEST(RegTreeTest, DeepTreeIsReleasedWithoutRecursion)
{
    auto top = std::make_unique<posix_regkey>();
    posix_regkey* key = top.get();
    for (int i = 0; i < 1000000; ++i) {
        auto& slot = key->subkeys[L"K"];
        slot = std::make_unique<posix_regkey>();
        key = slot.get();
    }
    top.reset();
    SUCCEED();
}
