// Windows: the console through its input mode; descriptors through the C
// runtime's _read, which serves pipes and files alike.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "console.h"

void console_binary(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

bool console_stdin_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

bool console_read_hidden(const char* prompt, char* line, size_t size, size_t& typed)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    bool restore = GetConsoleMode(in, &saved) != 0;
    if (restore) SetConsoleMode(in, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    typed = 0;
    line[0] = 0;
    bool any = false;
    char c = 0;
    DWORD n = 0;
    while (ReadFile(in, &c, 1, &n, nullptr) && n == 1) {
        any = true;
        if (c == '\n') break;
        if (c == '\r') continue;
        if (typed + 1 < size) line[typed] = c, line[typed + 1] = 0;
        ++typed;
    }
    if (restore) SetConsoleMode(in, saved);
    std::fputs("\n", stderr);
    return any;
}

long console_read_fd(int fd, char* buffer, unsigned size) { return _read(fd, buffer, size); }
