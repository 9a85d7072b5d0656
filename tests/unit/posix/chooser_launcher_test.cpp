// The Linux chooser launcher against scripted chooser programs: what it sends,
// how it reads the answer and the exit status, and that a chooser that is
// missing, fails or misbehaves never looks like a choice.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "chooser_program.h"
#include "dsc_chooser.h"
#include "scoped_env.h"
#include "temp_dir.h"

namespace {

class ChooserLauncher : public ::testing::Test {
protected:
    // A chooser written as a shell script; it can leave what it saw in
    // files of `dir`, whose path it finds in $DIR.
    std::string script(const std::string& body)
    {
        return program("#!/bin/sh\nDIR='" + dir.path() + "'\n" + body + "\n");
    }

    std::string program(const std::string& text)
    {
        std::string name = "chooser-" + std::to_string(serial++);
        dir.write(name, text);
        chmod(dir.file(name).c_str(), 0755);
        return dir.file(name);
    }

    int show(const std::string& program, const std::vector<std::wstring>& rows, int* chosen)
    {
        ScopedEnv variable("DSC_JNA_CHOOSER", program.c_str());
        std::vector<const WCHAR*> pointers;
        for (const auto& row : rows) pointers.push_back(row.c_str());
        return dsc_chooser_show(pointers.data(), static_cast<int>(pointers.size()), chosen);
    }

    TempDir dir;
    int serial = 0;
};

const std::vector<std::wstring> kRows = {L"4:SM2:Alice:Test CA", L"9:RSA:Bob:CN=Root, O=Acme:Inc"};

}  // namespace

TEST_F(ChooserLauncher, SendsTheRowsAsUtf8LinesAndTakesTheAnsweredIndex)
{
    const std::vector<std::wstring> rows = {
        L"4:SM2:\x5F20\x4E09:\x6D4B\x8BD5 CA",
        L"not a row",
        L"9:RSA:Bob:CN=Root, O=Acme:Inc",
    };
    int chosen = -7;
    EXPECT_EQ(show(script("cat > \"$DIR/rows\"; echo 9"), rows, &chosen), DSC_CHOOSER_ACCEPTED);
    EXPECT_EQ(chosen, 9);
    EXPECT_EQ(dir.read("rows"), "4:SM2:\xE5\xBC\xA0\xE4\xB8\x89:\xE6\xB5\x8B\xE8\xAF\x95 CA\n"
                                "9:RSA:Bob:CN=Root, O=Acme:Inc\n");
}

TEST_F(ChooserLauncher, MapsTheChoosersExitAndAnswer)
{
    struct Case {
        const char* what;
        const char* body;
        int result;
        int chosen;
    } cases[] = {
        {"accepted, answer without a line end", "cat >/dev/null; printf 4", DSC_CHOOSER_ACCEPTED, 4},
        {"accepted, CR LF line end", "cat >/dev/null; printf '9\\r\\n'", DSC_CHOOSER_ACCEPTED, 9},
        {"cancelled", "cat >/dev/null; exit 1", DSC_CHOOSER_CANCELLED, -7},
        {"cancelled before reading", "exit 1", DSC_CHOOSER_CANCELLED, -7},
        {"cancelled with output", "echo 4; exit 1", DSC_CHOOSER_CANCELLED, -7},
        {"an index that was not offered", "echo 5", DSC_CHOOSER_UNAVAILABLE, -7},
        {"a negative index", "echo -1", DSC_CHOOSER_UNAVAILABLE, -7},
        {"words", "echo four", DSC_CHOOSER_UNAVAILABLE, -7},
        {"an index and more", "echo '4 9'", DSC_CHOOSER_UNAVAILABLE, -7},
        {"two lines", "echo 4; echo 9", DSC_CHOOSER_UNAVAILABLE, -7},
        {"leading space", "echo ' 4'", DSC_CHOOSER_UNAVAILABLE, -7},
        {"past the range of int", "echo 4294967300", DSC_CHOOSER_UNAVAILABLE, -7},
        {"no answer", "exit 0", DSC_CHOOSER_UNAVAILABLE, -7},
        {"endless answer", "yes 4 | head -c 200000", DSC_CHOOSER_UNAVAILABLE, -7},
        {"another exit status", "echo 4; exit 2", DSC_CHOOSER_UNAVAILABLE, -7},
        {"crashed", "echo 4; kill -SEGV $$", DSC_CHOOSER_UNAVAILABLE, -7},
        {"not executable", nullptr, DSC_CHOOSER_UNAVAILABLE, -7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string program = script(c.body == nullptr ? "echo 4" : c.body);
        if (c.body == nullptr) chmod(program.c_str(), 0644);
        int chosen = -7;
        EXPECT_EQ(show(program, kRows, &chosen), c.result);
        EXPECT_EQ(chosen, c.chosen);
    }
}

TEST_F(ChooserLauncher, NoChooserToStartMeansNoDialog)
{
    std::filesystem::create_directory(dir.file("a-directory"));
    std::string noInterpreter = program("#!/nonexistent/interpreter\necho 4\n");
    for (const std::string& path : {dir.file("missing"), dir.file("a-directory"), noInterpreter}) {
        SCOPED_TRACE(path);
        int chosen = -7;
        EXPECT_EQ(show(path, kRows, &chosen), DSC_CHOOSER_UNAVAILABLE);
        EXPECT_EQ(chosen, -7);
    }
}

TEST_F(ChooserLauncher, ALineBreakInARowCannotForgeAnotherRow)
{
    // A certificate name is the certificate owner's text; its line break
    // must not turn the rest of the row into a row of its own.
    const std::vector<std::wstring> rows = {L"0:SM2:evil\n7:SM2:forged\r:CA", L"2:SM2:Bob:CA"};
    int chosen = -7;
    EXPECT_EQ(show(script("cat > \"$DIR/rows\"; echo 7"), rows, &chosen), DSC_CHOOSER_UNAVAILABLE);
    EXPECT_EQ(chosen, -7);
    EXPECT_EQ(dir.read("rows"), "0:SM2:evil 7:SM2:forged :CA\n2:SM2:Bob:CA\n");
}

TEST_F(ChooserLauncher, AChooserThatStopsReadingNeitherBlocksNorKillsTheHost)
{
    // Far more than a socket buffer holds: the launcher must see the reader
    // go away (no SIGPIPE in this process) and still read its answer.
    std::vector<std::wstring> rows;
    for (int i = 0; i < 4000; ++i) rows.push_back(std::to_wstring(i) + L":SM2:" + std::wstring(400, L'x') + L":CA");
    int chosen = -7;
    EXPECT_EQ(show(script("head -c 10 >/dev/null; echo 3999"), rows, &chosen), DSC_CHOOSER_ACCEPTED);
    EXPECT_EQ(chosen, 3999);
    EXPECT_EQ(show(script("exit 1"), rows, &chosen), DSC_CHOOSER_CANCELLED);
}

TEST_F(ChooserLauncher, TheChooserGetsNoDescriptorOfTheHostAndIsReaped)
{
    // Deliberately inheritable, and numbered above what the listing program
    // opens for itself.
    int devNull = open("/dev/null", O_RDONLY);
    ASSERT_GE(devNull, 0);
    int hostFd = fcntl(devNull, F_DUPFD, 40);
    close(devNull);
    ASSERT_GE(hostFd, 40);
    int chosen = -7;
    std::string program = script("ls /proc/self/fd > \"$DIR/fds\"; cat >/dev/null; echo 4");
    EXPECT_EQ(show(program, kRows, &chosen), DSC_CHOOSER_ACCEPTED);
    close(hostFd);
    std::string fds = dir.read("fds");
    EXPECT_NE(fds.find("0\n1\n2\n"), std::string::npos) << fds;
    EXPECT_EQ(("\n" + fds).find("\n" + std::to_string(hostFd) + "\n"), std::string::npos) << fds;
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ChooserProgram, IsTheVariableOrDscChooserBesideTheModule)
{
    // In the unit suite the launcher is linked into the test program itself.
    std::string beside = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "dsc_chooser";
    struct Case {
        const char* variable;
        std::string program;
    } cases[] = {
        {"/opt/elsewhere/chooser", "/opt/elsewhere/chooser"},
        {"", beside},
        {nullptr, beside},
    };
    for (const Case& c : cases) {
        ScopedEnv variable("DSC_JNA_CHOOSER", c.variable);
        EXPECT_EQ(chooser_programPath(), c.program);
    }
}
