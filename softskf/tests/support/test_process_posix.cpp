#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_process.h"

extern char** environ;

int run_self(const std::vector<std::string>& args)
{
    std::string self = "/proc/self/exe";
    std::vector<char*> argv{self.data()};
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
