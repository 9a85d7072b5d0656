#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tcore_errors.h"
#include "tcore_list.h"
#include "tcore_wreg.h"
#include "test_platform.h"
#include "test_registry.h"
#include "trace_capture.h"

namespace {

const std::string kLongValue(300, 'v');

class WregTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test_registry_install(std::string(kRegHeader) +
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Test]\r\n"
                              "@=\"default text\"\r\n"
                              "\"Text\"=\"C:\\\\Tokens\\\\vendor.dll\"\r\n"
                              "\"Long\"=\"" +
                              kLongValue +
                              "\"\r\n"
                              "\"Empty\"=\"\"\r\n"
                              "\"Number\"=dword:00000031\r\n"
                              "\"Digits\"=\"250\"\r\n"
                              "\"Max\"=\"4294967295\"\r\n"
                              "\"Huge\"=\"4294967296\"\r\n"
                              "\"Signed\"=\"-5\"\r\n"
                              "\"Spaced\"=\"25 0\"\r\n"
                              "\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Test\\Sub B]\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Test\\sub a]\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Test\\SUB C]\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Leaf]\r\n");
    }
    static void TearDownTestSuite() { test_registry_clear(); }
};

std::vector<std::string> names(const tcore_list* list)
{
    std::vector<std::string> out;
    for (int i = 0; list != nullptr && i < list->count; ++i) out.emplace_back(static_cast<const char*>(list->items[i]));
    return out;
}

}  // namespace

TEST_F(WregTest, ReadsTextValues)
{
    struct Case {
        const char* value;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {"Text", 20, "C:\\Tokens\\vendor.dll"},
        {"Empty", 0, ""},
        {"", 12, "default text"},
        {"Number", 1, "1"},  // a DWORD read as text, as Windows gives it
        {"Long", TCORE_ERR_BUFSIZE, ""},
    };
    for (const auto& c : cases) {
        char out[256];
        std::memset(out, 'x', sizeof out);
        out[255] = 0;
        EXPECT_EQ(tcore_wreg_getValue("SOFTWARE\\TARNO_II\\Test", c.value, out), c.result) << c.value;
        if (c.result >= 0) {
            EXPECT_EQ(std::string(out), c.text) << c.value;
        }
    }
    EXPECT_EQ(tcore_wreg_getValue("SOFTWARE\\TARNO_II\\Test", "Text", nullptr), 21);
    EXPECT_EQ(tcore_wreg_getValue("software\\tarno_ii\\TEST", "TEXT", nullptr), 21);  // names ignore case
}

TEST_F(WregTest, MissingKeyAndMissingValueAreTold)
{
    TraceCapture trace;
    char out[256] = {0};
    EXPECT_EQ(tcore_wreg_getValue("SOFTWARE\\TARNO_II\\Nothing", "Text", out), TCORE_ERR_REG_OPEN);
    EXPECT_TRUE(trace.entries().empty());
    EXPECT_EQ(tcore_wreg_getValue("SOFTWARE\\TARNO_II\\Test", "Nothing", out), TCORE_ERR_REG_QUERY);
    ASSERT_EQ(trace.entries().size(), 1u);
    EXPECT_NE(trace.entries()[0].find("(tgsp/src/tcore/tcore_misc_win "), std::string::npos);
    EXPECT_NE(trace.entries()[0].find(") 2, RegQueryValueEx"), std::string::npos) << trace.entries()[0];
}

TEST_F(WregTest, NumbersAreDwordsOrTextsOfDigits)
{
    const char* key = "SOFTWARE\\TARNO_II\\Test";
    const struct {
        const char* value;
        int rc;
        unsigned number;
    } cases[] = {
        {"Number", 0, 0x31},
        {"Digits", 0, 250},
        {"Max", 0, 4294967295u},
        {"Huge", TCORE_ERR_PARAM, 0},
        {"Signed", TCORE_ERR_PARAM, 0},
        {"Spaced", TCORE_ERR_PARAM, 0},
        {"Empty", TCORE_ERR_PARAM, 0},
        {"Text", TCORE_ERR_PARAM, 0},
        {"Nothing", TCORE_ERR_REG_QUERY, 0},
    };
    TraceCapture trace;
    for (const auto& c : cases) {
        unsigned number = 7;
        EXPECT_EQ(tcore_wreg_getNumber(key, c.value, &number), c.rc) << c.value;
        EXPECT_EQ(number, c.rc == 0 ? c.number : 7u) << c.value;
    }
    unsigned number = 0;
    EXPECT_EQ(tcore_wreg_getNumber("SOFTWARE\\TARNO_II\\Nothing", "Number", &number), TCORE_ERR_REG_OPEN);
    EXPECT_TRUE(trace.entries().empty()) << "a setting left out is not traced";
}

TEST_F(WregTest, QueryValueGivesSizesAndChecksCapacity)
{
    const WCHAR key[] = L"SOFTWARE\\TARNO_II\\Test";
    const int longSize = static_cast<int>((kLongValue.size() + 1) * sizeof(WCHAR));
    EXPECT_EQ(tcore_wreg_queryValue(nullptr, key, 0, L"Long"), longSize);
    std::vector<char> buffer(static_cast<size_t>(longSize));
    EXPECT_EQ(tcore_wreg_queryValue(buffer.data(), key, longSize - 1, L"Long"), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(tcore_wreg_queryValue(buffer.data(), key, longSize, L"Long"), longSize);
    EXPECT_EQ(tcore_wreg_queryValue(nullptr, key, 0, L"Number"), 4);
}

TEST_F(WregTest, ListsSubkeysInCaseInsensitiveOrder)
{
    tcore_list* list = nullptr;
    EXPECT_EQ(tcore_wreg_getKeys("SOFTWARE\\TARNO_II\\Test", &list), 3);
    EXPECT_EQ(names(list), (std::vector<std::string>{"sub a", "Sub B", "SUB C"}));
    tcore_list_free(list);

    list = nullptr;
    EXPECT_EQ(tcore_wreg_getKeys("SOFTWARE\\TARNO_II\\Leaf", &list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(tcore_wreg_getKeys("SOFTWARE\\TARNO_II\\Nothing", &list), TCORE_ERR_REG_OPEN);
    EXPECT_EQ(tcore_wreg_getKeys("SOFTWARE\\TARNO_II", nullptr), TCORE_ERR_PARAM);
}

// A key opened once reads its subkeys' values by their own names, as the
// whole path from the root would; the parent stays usable until closed.
TEST_F(WregTest, ValuesUnderAnOpenedParent)
{
    tcore_wreg_key parent = nullptr;
    ASSERT_EQ(tcore_wreg_openParent("SOFTWARE\\TARNO_II\\Test", &parent), 0);
    ASSERT_NE(parent, nullptr);
    tcore_list* list = nullptr;
    EXPECT_EQ(tcore_wreg_getKeysOf(parent, &list), 3);
    EXPECT_EQ(names(list), (std::vector<std::string>{"sub a", "Sub B", "SUB C"}));
    tcore_list_free(list);
    tcore_wreg_closeParent(parent);

    ASSERT_EQ(tcore_wreg_openParent("SOFTWARE\\TARNO_II", &parent), 0);
    char out[256];
    EXPECT_EQ(tcore_wreg_getValueUnder(parent, "Test", "Text", out), 20);
    EXPECT_STREQ(out, "C:\\Tokens\\vendor.dll");
    EXPECT_EQ(tcore_wreg_getValueUnder(parent, "Test", "", out), 12);  // the default value
    EXPECT_STREQ(out, "default text");
    EXPECT_EQ(tcore_wreg_getValueUnder(parent, "Test", "Long", out), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(tcore_wreg_getValueUnder(parent, "Leaf", "Text", out), TCORE_ERR_REG_QUERY);
    EXPECT_EQ(tcore_wreg_getValueUnder(parent, "Nothing", "Text", out), TCORE_ERR_REG_OPEN);
    EXPECT_EQ(tcore_wreg_getValueUnder(parent, "Test\\Sub B", "Text", out), TCORE_ERR_REG_QUERY);
    tcore_wreg_closeParent(parent);

    // Null stands for the root, for opening and reading alike.
    EXPECT_EQ(tcore_wreg_openParent("", &parent), 0);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(tcore_wreg_getValueUnder(nullptr, "SOFTWARE\\TARNO_II\\Test", "Text", out), 20);
    EXPECT_EQ(tcore_wreg_openParent("SOFTWARE\\TARNO_II\\Nothing", &parent), TCORE_ERR_REG_OPEN);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(tcore_wreg_openParent("SOFTWARE", nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_wreg_getKeysOf(nullptr, nullptr), TCORE_ERR_PARAM);
}

TEST(LoadLibraryTest, LoadsByPathAndRefusesNothing)
{
    EXPECT_EQ(tcore_loadLibrary(nullptr), nullptr);
    EXPECT_EQ(tcore_loadLibrary(""), nullptr);
    EXPECT_EQ(tcore_loadLibrary("no-such-directory/no-such-library.dll"), nullptr);
    auto module = static_cast<HMODULE>(tcore_loadLibrary(kSystemLibrary));
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, kSystemLibrarySymbol), nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchSymbolAnywhere"), nullptr);
    FreeLibrary(module);
}
