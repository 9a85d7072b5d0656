#include "xvfb_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

XvfbDisplay::XvfbDisplay()
{
    // Xvfb writes the display number it took to the descriptor named by
    // -displayfd once it accepts connections. Without -noreset it resets
    // whenever its last client leaves, and a client that connects during
    // the reset is turned away.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"Xvfb",        "-displayfd", "3",   "-screen",  "0",
                          "1024x768x24", "-nolisten",  "tcp", "-noreset", nullptr};
    int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (rc != 0) {
        pid_ = -1;
        close(ready[0]);
        return;
    }
    std::string number;
    pollfd fd = {ready[0], POLLIN, 0};
    char c;
    while (poll(&fd, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(ready[0]);
    if (!number.empty()) name_ = ":" + number;
}

XvfbDisplay::~XvfbDisplay()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}
