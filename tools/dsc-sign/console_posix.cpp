// Linux: terminals through termios; descriptors are plain read(2).
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "console.h"

void console_binary(std::FILE*) {}

bool console_stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }

bool console_read_hidden(const char* prompt, char* line, size_t size, size_t& typed)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios saved{};
    bool restore = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    typed = 0;
    line[0] = 0;
    bool any = false;
    char c = 0;
    ssize_t n;
    while ((n = read(STDIN_FILENO, &c, 1)) == 1 || (n < 0 && errno == EINTR)) {
        if (n != 1) continue;
        any = true;
        if (c == '\n') break;
        if (typed + 1 < size) line[typed] = c, line[typed + 1] = 0;
        ++typed;
    }
    if (restore) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    return any;
}

long console_read_fd(int fd, char* buffer, unsigned size)
{
    ssize_t n;
    do n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}
