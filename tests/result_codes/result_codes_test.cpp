// The one list of result codes against what is written elsewhere: the
// README's table must say the same (code and meaning), and every result code
// spelled as a number in the library's sources must be in the list.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tcore_result_codes.h"

namespace {

namespace fs = std::filesystem;

std::map<int, std::string> listed()
{
    std::map<int, std::string> codes;
#define LISTED(code, name, meaning) codes.emplace(code, meaning);
    DSC_RESULT_CODES(LISTED)
#undef LISTED
    return codes;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The rows `| -1040 | meaning |` of the README's "Result codes" section.
std::map<int, std::string> readmeTable()
{
    std::string readme = readText(fs::path(DSC_SOURCE_DIR) / "README.md");
    size_t start = readme.find("\n## Result codes\n");
    size_t end = start == std::string::npos ? start : readme.find("\n## ", start + 1);
    std::string section = start == std::string::npos ? "" : readme.substr(start, end - start);
    std::map<int, std::string> rows;
    static const std::regex row(R"(^\| *(-[0-9]+) *\| *(.*?) *\|$)");
    std::istringstream lines(section);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, row)) rows.emplace(std::stoi(m[1]), m[2]);
    }
    return rows;
}

TEST(ResultCodes, TheReadmeTableSaysWhatTheListSays)
{
    const auto codes = listed();
    const auto rows = readmeTable();
    ASSERT_FALSE(rows.empty()) << "no result-code table found under \"## Result codes\" in README.md";
    for (const auto& [code, meaning] : codes) {
        auto row = rows.find(code);
        if (row == rows.end())
            ADD_FAILURE() << code << " is in the list but not in the README";
        else
            EXPECT_EQ(meaning, row->second) << "meaning of " << code;
    }
    for (const auto& [code, meaning] : rows)
        EXPECT_TRUE(codes.count(code)) << code << " (\"" << meaning << "\") is in the README but not in the list";
}

// Result codes are -1 or four digits and more; shorter negative numbers in
// the sources are sentinels and table markers that never leave a function
// as a result (-1 is listed anyway).
TEST(ResultCodes, EveryCodeTheLibrarySpellsOutIsListed)
{
    const auto codes = listed();
    static const std::regex literal(R"((^|[^0-9A-Za-z_.])-([0-9]{4,})\b)");
    int files = 0;
    for (const char* layer : {"dsc_jna", "dsc_acx", "tgsp"}) {
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(DSC_SOURCE_DIR) / layer)) {
            const fs::path& path = entry.path();
            if (path.extension() != ".cpp" && path.extension() != ".h") continue;
            if (path.filename() == "tcore_result_codes.h") continue;
            ++files;
            std::string text = readText(path);
            for (std::sregex_iterator it(text.begin(), text.end(), literal), none; it != none; ++it) {
                int code = -std::stoi((*it)[2]);
                EXPECT_TRUE(codes.count(code)) << path.string() << " spells out " << code << ", which is not listed";
            }
        }
    }
    EXPECT_GT(files, 0) << "no sources found under " << DSC_SOURCE_DIR;
}

}  // namespace
