// The log file on a disk that fills up, and shared by two processes.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "tcore_log.h"
#include "temp_dir.h"

namespace {

const std::regex kLine(R"(^\[(\d+)\] \[INF\] \[\d{4}/\d{2}/\d{2}_\d{2}:\d{2}:\d{2}\] (.*)$)");

// The messages of a log file's lines; a line without a proper head, or a
// last line without its line feed, is reported as such.
std::vector<std::string> messages(const std::string& content)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            out.push_back("<unterminated: " + content.substr(start, 60) + ">");
            break;
        }
        std::string line = content.substr(start, end - start);
        std::smatch m;
        out.push_back(std::regex_match(line, m, kLine) ? m[2].str() : "<bad: " + line.substr(0, 60) + ">");
        start = end + 1;
    }
    return out;
}

// A small tmpfs of its own, mounted for the test (root only).
class SmallDisk {
public:
    explicit SmallDisk(const TempDir& dir) : path_(dir.file("disk"))
    {
        mkdir(path_.c_str(), 0700);
        mounted_ = geteuid() == 0 && mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted_) umount(path_.c_str());
    }
    bool mounted() const { return mounted_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Writes a filler file until the disk refuses more.
    void fill() const
    {
        std::FILE* f = std::fopen(file("filler").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::setvbuf(f, nullptr, _IONBF, 0);
        std::string chunk(512, 'f');
        while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size()) {}
        std::fclose(f);
    }
    void makeRoom() const { std::remove(file("filler").c_str()); }

private:
    std::string path_;
    bool mounted_ = false;
};

}  // namespace

// A line that finds the disk full is not left half written: the next line,
// once there is room again, starts on a line of its own.
TEST(LogDiskTest, FullDiskLeavesNoHalfLine)
{
    TempDir dir;
    SmallDisk disk(dir);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    std::string path = disk.file("full.log");
    tcore_log* log = tcore_log_new(path.c_str(), 0);
    ASSERT_EQ(tcore_log_write(log, TCORE_LOG_INF, "before"), 0);
    disk.fill();
    // One line built in memory, one streamed into the file: both are larger
    // than the room left in the file's last block.
    std::string shortLine(6000, 's'), longLine(20000, 'l');
    EXPECT_EQ(tcore_log_write(log, TCORE_LOG_INF, shortLine.c_str()), 0);
    EXPECT_EQ(tcore_log_write(log, TCORE_LOG_INF, longLine.c_str()), 0);
    disk.makeRoom();
    ASSERT_EQ(tcore_log_write(log, TCORE_LOG_INF, "after"), 0);
    tcore_log_free(log);

    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string content;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) content.append(buf, n);
    std::fclose(f);
    EXPECT_EQ(messages(content), (std::vector<std::string>{"before", "after"}));
}

// Two processes appending to one file keep their lines apart.
TEST(LogDiskTest, TwoProcessesKeepTheirLinesApart)
{
    TempDir dir;
    std::string path = dir.file("shared.log");
    const int kLines = 400;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            tcore_log* log = tcore_log_new(path.c_str(), 0);
            std::string text(300, static_cast<char>('a' + c));
            for (int i = 0; i < kLines; ++i) tcore_log_write(log, TCORE_LOG_INF, text.c_str());
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int count[2] = {0, 0};
    for (const auto& m : messages(dir.read("shared.log"))) {
        if (m == std::string(300, 'a'))
            ++count[0];
        else if (m == std::string(300, 'b'))
            ++count[1];
        else
            ADD_FAILURE() << m;
    }
    EXPECT_EQ(count[0], kLines);
    EXPECT_EQ(count[1], kLines);
}
