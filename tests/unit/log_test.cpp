#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "dsc_acx_log.h"
#include "dsc_jna.h"
#include "tcore_errors.h"
#include "tcore_log.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "temp_dir.h"
#include "test_registry.h"
#include "trace_capture.h"

namespace {

std::vector<std::string> lines(const std::string& content)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        out.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The message of a log line, after the "[pid] [LEVEL] [time] " prefix.
std::string messageOf(const std::string& line)
{
    static const std::regex prefix(R"(^\[(\d+)\] \[(ERR|WAR|INF)\] \[\d{4}/\d{2}/\d{2}_\d{2}:\d{2}:\d{2}\] )");
    std::smatch m;
    if (!std::regex_search(line, m, prefix)) return "<bad prefix: " + line + ">";
    if (std::stoul(m[1].str()) != GetCurrentProcessId()) return "<wrong pid>";
    return m[2].str() + " " + line.substr(static_cast<size_t>(m.length(0)));
}

bool exists(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) std::fclose(f);
    return f != nullptr;
}

std::string logEntry(const std::string& path)
{
    return std::string(kRegHeader) +
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Log]\r\n\"SignLogPath\"=" + regString(path) + "\r\n";
}

// Process-wide log state can only be turned on once, so each scenario runs
// in a process of its own and ends it: status 0 when every check held.
struct Scenario {
    std::vector<std::string> failures;
    void check(bool ok, const std::string& what)
    {
        if (!ok) failures.push_back(what);
    }
    void expectLines(const TempDir& dir, const char* file, const std::vector<std::string>& expected)
    {
        std::vector<std::string> got;
        for (const auto& l : lines(dir.read(file))) got.push_back(messageOf(l));
        if (got != expected) {
            std::string text = std::string(file) + " holds:";
            for (const auto& g : got) text += " [" + g + "]";
            failures.push_back(text);
        }
    }
    [[noreturn]] void finish()
    {
        for (const auto& f : failures) std::cerr << f << "\n";
        std::exit(failures.empty() ? 0 : 1);
    }
};

void runScenario(const std::function<void(Scenario&)>& body)
{
    Scenario s;
    body(s);
    s.finish();
}

}  // namespace

TEST(LogFileTest, LineFormatAndLevels)
{
    TempDir dir;
    tcore_log* log = tcore_log_new(dir.file("a.log").c_str(), 0);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->maxSizeKB, TCORE_LOG_DEFAULT_KB);
    EXPECT_EQ(tcore_log_write(log, TCORE_LOG_INF, "hello"), 0);
    EXPECT_EQ(tcore_log_write(log, TCORE_LOG_ERR, "bad thing"), 0);
    EXPECT_EQ(tcore_log_write(log, TCORE_LOG_WAR, ""), 0);
    EXPECT_EQ(tcore_log_write(log, 0, "x"), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_log_write(log, 4, "x"), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_log_write(nullptr, TCORE_LOG_INF, "x"), TCORE_ERR_PARAM);
    EXPECT_EQ(log->file, nullptr);  // closed between lines
    tcore_log_free(log);

    std::string content = dir.read("a.log");
    EXPECT_EQ(content.find('\r'), std::string::npos);
    std::vector<std::string> got;
    for (const auto& l : lines(content)) got.push_back(messageOf(l));
    EXPECT_EQ(got, (std::vector<std::string>{"INF hello", "ERR bad thing", "WAR "}));
    EXPECT_EQ(content.back(), '\n');
}

TEST(LogFileTest, LevelNames)
{
    const char* expected[] = {"UNK", "ERR", "WAR", "INF", "DEB", "DEM", "UNKNOWN"};
    for (int level = 0; level <= 6; ++level) EXPECT_STREQ(tcore_log_levelName(level), expected[level]);
}

TEST(LogFileTest, NoLogWithoutPath)
{
    EXPECT_EQ(tcore_log_new(nullptr, 0), nullptr);
    EXPECT_EQ(tcore_log_new("", 0), nullptr);
}

TEST(LogFileTest, EmptiedOnlyWhenPastTheLimit)
{
    TempDir dir;
    struct Case {
        size_t existing;
        bool emptied;
    };
    for (const Case c : {Case{1024, false}, Case{1025, true}, Case{10, false}}) {
        dir.write("s.log", std::string(c.existing, 'o'));
        tcore_log* log = tcore_log_new(dir.file("s.log").c_str(), 1);
        tcore_log_write(log, TCORE_LOG_INF, "next");
        tcore_log_free(log);
        std::string content = dir.read("s.log");
        if (c.emptied) {
            EXPECT_EQ(messageOf(content.substr(0, content.size() - 1)), "INF next") << c.existing;
        } else {
            EXPECT_EQ(content.substr(0, c.existing), std::string(c.existing, 'o')) << c.existing;
            EXPECT_EQ(messageOf(content.substr(c.existing, content.size() - c.existing - 1)), "INF next");
        }
    }
}

TEST(LogFileTest, MissingDirectoryDropsTheLine)
{
    TempDir dir;
    std::string path = dir.file("no-such-dir/x.log");
    tcore_log* log = tcore_log_new(path.c_str(), 0);
    EXPECT_EQ(tcore_log_write(log, TCORE_LOG_INF, "lost"), 0);
    EXPECT_FALSE(exists(path));
    tcore_log_free(log);
}

// A path that would have to be cut is refused: the cut one names another file
// (here in the parent directory, and ending inside a UTF-8 character).
TEST(LogFileTest, PathLongerThanTheLimitMakesNoLog)
{
    TempDir dir;
    const std::string han = "\xE4\xB8\xAD";  // one CJK character, three bytes
    struct Case {
        std::string path;
        bool accepted;
    } cases[] = {
        {dir.file(std::string(255 - dir.path().size() - 1, 'a')), true},
        {dir.file(std::string(256 - dir.path().size() - 1, 'a')), false},
        {dir.file(std::string(255 - dir.path().size() - 1 - 2, 'a') + han), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.size());
        TraceCapture traces;
        tcore_log* log = tcore_log_new(c.path.c_str(), 0);
        EXPECT_EQ(log != nullptr, c.accepted);
        EXPECT_EQ(traces.contains("longer than 255"), !c.accepted);
        if (log != nullptr) {
            EXPECT_EQ(std::string(log->path), c.path);
        }
        tcore_log_free(log);
    }
}

TEST(LogFileTest, MessagesAreNeverCut)
{
    std::string big(100000, 'b');
    TempDir dir;
    tcore_log* log = tcore_log_new(dir.file("big.log").c_str(), 0);
    auto write = [log](const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        EXPECT_EQ(tcore_log_writeV(log, TCORE_LOG_INF, fmt, args), 0);
        va_end(args);
    };
    const size_t sizes[] = {2046u, 2047u, 4095u, 100000u};
    for (size_t n : sizes) write("%s", big.substr(0, n).c_str());
    write("%d-%s", 7, "x");
    write("%.*s", 3, "abcdef");
    tcore_log_free(log);

    std::ifstream in(dir.file("big.log"));
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);) messages.push_back(line.substr(line.rfind("] ") + 2));
    ASSERT_EQ(messages.size(), std::size(sizes) + 2);
    for (size_t i = 0; i < std::size(sizes); ++i) EXPECT_EQ(messages[i].size(), sizes[i]);
    EXPECT_EQ(messages[4], "7-x");
    EXPECT_EQ(messages[5], "abc");
}

TEST(LogDeathTest, NothingIsWrittenBeforeSetLog)
{
    EXPECT_EXIT(runScenario([](Scenario& s) {
                    TempDir dir;
                    test_registry_install(logEntry(dir.file("reg.log")));
                    dsc_acx_logError("an error %d", 1);
                    dsc_acx_logInfo("info");
                    TCORE_TRACE(TSRC_DSC_ACX, "a trace");
                    s.check(!exists(dir.file("reg.log")), "a file was created before Sgn_SetLog");
                    s.check(Sgn_CloseLog() == 0, "Sgn_CloseLog before Sgn_SetLog");
                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogDeathTest, PathFromArgumentOrRegistry)
{
    EXPECT_EXIT(runScenario([](Scenario& s) {
                    TempDir dir;
                    test_registry_clear();
                    s.check(Sgn_SetLog(nullptr) == 0, "Sgn_SetLog(null) without registry value");
                    s.check(Sgn_SetLog("") == 0, "Sgn_SetLog(\"\") without registry value");
                    dsc_acx_logInfo("dropped");
                    test_registry_install(logEntry(dir.file("reg.log")));
                    s.check(Sgn_SetLog(nullptr) == 0, "Sgn_SetLog(null) with registry value");
                    dsc_acx_logInfo("to the registry path");
                    s.expectLines(dir, "reg.log", {"INF to the registry path"});
                }),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(runScenario([](Scenario& s) {
                    TempDir dir;
                    test_registry_install(logEntry(dir.file("reg.log")));
                    s.check(Sgn_SetLog(dir.file("arg.log").c_str()) == 0, "Sgn_SetLog(path)");
                    dsc_acx_logInfo("to the argument path");
                    s.check(!exists(dir.file("reg.log")), "the registry path was used");
                    s.expectLines(dir, "arg.log", {"INF to the argument path"});
                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogDeathTest, LongPathIsRefusedAndLeavesTheLogOff)
{
    EXPECT_EXIT(runScenario([](Scenario& s) {
                    TempDir dir;
                    test_registry_clear();
                    std::string tooLong = dir.file(std::string(300, 'x'));
                    {
                        TraceCapture traces;
                        s.check(Sgn_SetLog(tooLong.c_str()) == -3009, "long path not refused with -3009");
                        s.check(traces.contains("longer than 255"), "no trace of the refusal");
                    }
                    dsc_acx_logInfo("dropped");
                    s.check(!exists(tooLong.substr(0, 255)), "the cut path was used");
                    s.check(Sgn_SetLog(dir.file("ok.log").c_str()) == 0, "Sgn_SetLog after the refusal");
                    dsc_acx_logInfo("kept");
                    s.expectLines(dir, "ok.log", {"INF kept"});
                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogDeathTest, OnOnceAndOffForGood)
{
    EXPECT_EXIT(runScenario([](Scenario& s) {
                    TempDir dir;
                    test_registry_clear();
                    s.check(Sgn_SetLog(dir.file("first.log").c_str()) == 0, "first Sgn_SetLog");
                    s.check(Sgn_SetLog(dir.file("second.log").c_str()) == 0, "second Sgn_SetLog");
                    dsc_acx_logInfo("info %s", "line");
                    dsc_acx_logError("error %d", -3011);
                    tcore_trace("f", 7, "x");
                    s.check(Sgn_CloseLog() == 0, "Sgn_CloseLog");
                    s.check(Sgn_SetLog(dir.file("third.log").c_str()) == 0, "Sgn_SetLog after close");
                    dsc_acx_logInfo("after close");
                    tcore_trace("f", 8, "after close");
                    s.check(Sgn_CloseLog() == 0, "second Sgn_CloseLog");
                    s.check(!exists(dir.file("second.log")), "second path used");
                    s.check(!exists(dir.file("third.log")), "log reopened after close");
                    s.expectLines(dir, "first.log", {"INF info line", "ERR error -3011", "ERR (f 7)x"});
                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogDeathTest, TenMegabyteLimitAndLongMessages)
{
    EXPECT_EXIT(runScenario([](Scenario& s) {
                    TempDir dir;
                    test_registry_clear();
                    const size_t limit = 10240u * 1024u;
                    dir.write("at.log", std::string(limit, 'a'));
                    Sgn_SetLog(dir.file("at.log").c_str());
                    std::string longMessage(5000, 'm');
                    dsc_acx_logInfo("%s", longMessage.c_str());
                    std::string content = dir.read("at.log");
                    s.check(content.size() > limit && content.substr(0, 4) == "aaaa", "file at the limit was emptied");
                    s.check(messageOf(content.substr(limit, content.size() - limit - 1)) == "INF " + longMessage,
                            "long message not whole");
                    dsc_acx_logInfo("next");
                    s.expectLines(dir, "at.log", {"INF next"});
                }),
                ::testing::ExitedWithCode(0), "");
}
