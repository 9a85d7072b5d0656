// The chooser on Linux. A separate program shows the dialog, so no GUI
// toolkit is ever loaded into the host process (a JVM, typically). The rows
// go to its standard input as UTF-8 lines; it prints the chosen index on its
// standard output and exits 0, or exits 1 when the user cancelled. Anything
// else - no program, one that cannot start, crashes, exits otherwise or
// prints something that is not one of the offered indices - means no dialog
// could be shown.
#include "dsc_chooser.h"

#include <windows.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "chooser_program.h"
#include "chooser_row.h"
#include "tcore_codepage.h"
#include "tcore_mem.h"

extern char** environ;

namespace {

constexpr int kExitAccepted = 0;
constexpr int kExitCancelled = 1;
// An index is at most ten digits; a program that prints more is not
// answering.
constexpr size_t kMaxAnswer = 64;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

std::string directoryOfThisModule()
{
    Dl_info info;
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&directoryOfThisModule), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0 ||
        map == nullptr)
        return {};
    std::string path;
    if (map->l_name != nullptr && map->l_name[0] != 0) {
        path = map->l_name;
    } else {
        // The main program has no name in its link map entry.
        char buffer[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
        if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) return {};
        path.assign(buffer, static_cast<size_t>(n));
    }
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// What the program reads, and the indices it may answer with. A line break
// inside a row (a certificate name can hold one) would make its tail a row
// of its own, with an index of the certificate's choosing; it becomes a
// space.
struct Offer {
    std::string input;
    std::vector<int> indices;
};

Offer offerRows(const WCHAR* const* rows, int count)
{
    Offer offer;
    for (int i = 0; i < count; ++i) {
        if (rows[i] == nullptr || rows[i][0] == 0) continue;
        chooser_row<WCHAR> row;
        if (!chooser_splitRow(std::basic_string_view<WCHAR>(rows[i]), &row)) continue;
        char* utf8 = nullptr;
        if (tcore_wideToUtf8(rows[i], 0, &utf8) < 0) continue;
        std::string line(utf8);
        tcore_free(utf8);
        std::replace(line.begin(), line.end(), '\n', ' ');
        std::replace(line.begin(), line.end(), '\r', ' ');
        offer.input += line;
        offer.input += '\n';
        offer.indices.push_back(row.index);
    }
    return offer;
}

// Starts `program` with `input` as the far end of a socket on its standard
// input (so writing to it after the program is gone fails with EPIPE instead
// of raising SIGPIPE in the host) and a pipe on its standard output. The
// program gets nothing else of ours: no other descriptors, a clean signal
// mask and default signal actions.
pid_t spawnChooser(const std::string& program, Fd& toChild, Fd& fromChild)
{
    int input[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) return -1;
    Fd childInput(input[1]);
    toChild.reset(input[0]);
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) return -1;
    Fd childOutput(output[1]);
    fromChild.reset(output[0]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childInput.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOutput.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string name = program;
    char* argv[] = {name.data(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Feeds the input and collects the answer at the same time, so neither side
// waits on a full buffer of the other. Ends when the program closes its
// standard output (normally by exiting).
std::string exchange(const std::string& input, Fd& toChild, Fd& fromChild, bool* overlong)
{
    std::string answer;
    size_t written = 0;
    if (input.empty()) toChild.reset();
    for (;;) {
        pollfd fds[2] = {{fromChild.get(), POLLIN, 0}, {toChild.get(), POLLOUT, 0}};
        int n = poll(fds, toChild.get() >= 0 ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (toChild.get() >= 0 && fds[1].revents != 0) {
            ssize_t sent = send(toChild.get(), input.data() + written, input.size() - written,
                                MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) written += static_cast<size_t>(sent);
            if ((sent < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) toChild.reset();
        }
        if (fds[0].revents != 0) {
            char buffer[512];
            ssize_t got = read(fromChild.get(), buffer, sizeof(buffer));
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) break;
            size_t room = kMaxAnswer - std::min(kMaxAnswer, answer.size());
            if (static_cast<size_t>(got) > room) *overlong = true;
            answer.append(buffer, std::min(room, static_cast<size_t>(got)));
        }
    }
    toChild.reset();
    fromChild.reset();
    return answer;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The answer must be one decimal index, optionally followed by a line end.
bool parseAnswer(std::string_view answer, int* index)
{
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.remove_suffix(1);
    if (answer.empty() || answer.size() > 10) return false;
    long long value = 0;
    for (char c : answer) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > INT_MAX) return false;
    *index = static_cast<int>(value);
    return true;
}

int showChooser(const WCHAR* const* rows, int count, int* chosenIndex)
{
    std::string program = chooser_programPath();
    if (program.empty()) return DSC_CHOOSER_UNAVAILABLE;
    Offer offer = offerRows(rows, count);
    Fd toChild, fromChild;
    pid_t pid = spawnChooser(program, toChild, fromChild);
    if (pid < 0) return DSC_CHOOSER_UNAVAILABLE;
    bool overlong = false;
    std::string answer = exchange(offer.input, toChild, fromChild, &overlong);
    int exitCode = waitFor(pid);
    if (exitCode == kExitCancelled) return DSC_CHOOSER_CANCELLED;
    if (exitCode != kExitAccepted || overlong) return DSC_CHOOSER_UNAVAILABLE;
    int index = -1;
    if (!parseAnswer(answer, &index)) return DSC_CHOOSER_UNAVAILABLE;
    if (std::find(offer.indices.begin(), offer.indices.end(), index) == offer.indices.end())
        return DSC_CHOOSER_UNAVAILABLE;
    *chosenIndex = index;
    return DSC_CHOOSER_ACCEPTED;
}

}  // namespace

std::string chooser_programPath()
{
    const char* configured = std::getenv("DSC_JNA_CHOOSER");
    if (configured != nullptr && configured[0] != 0) return configured;
    std::string directory = directoryOfThisModule();
    if (directory.empty()) return {};
    return directory == "/" ? "/dsc_chooser" : directory + "/dsc_chooser";
}

int dsc_chooser_show(const WCHAR* const* rows, int count, int* chosenIndex)
{
    if (chosenIndex == nullptr || count < 0 || (rows == nullptr && count > 0)) return DSC_CHOOSER_UNAVAILABLE;
    try {
        return showChooser(rows, count, chosenIndex);
    } catch (const std::bad_alloc&) {
        tcore_exitNoMemory();
    }
}
