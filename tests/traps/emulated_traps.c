/* Preloaded into the programs that run under the user-mode i386 emulator
 * (tests/i386-emulator). The emulator delivers a guest's memory fault as
 * SIGSEGV but leaves the x86 trap number of the signal context at -1, and
 * Wine decides from that number what a signal was: with -1 it reports
 * "unexpected trap" and raises an illegal instruction where Windows raises an
 * access violation. Filling the trap number in before Wine's handler runs
 * gives a faulting 32-bit program the exception it gets on Windows. A kernel
 * always fills it in, so natively this changes nothing; the same file is
 * built for 64-bit programs only so that the preload resolves for them too.
 * The emulator does not say whether the access was a read or a write: the
 * fault is reported as a read. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

enum { TRAP_DIVIDE = 0, TRAP_PAGE_FAULT = 14, PAGE_FAULT_USER_READ = 4 };

typedef void (*signal_handler)(int, siginfo_t*, void*);
typedef int (*sigaction_fn)(int, const struct sigaction*, struct sigaction*);

static signal_handler wrapped[NSIG];

static void with_trap_number(int sig, siginfo_t* info, void* context)
{
    ucontext_t* uc = (ucontext_t*)context;
    if (uc->uc_mcontext.gregs[REG_TRAPNO] == -1) {
        if (sig == SIGSEGV || sig == SIGBUS) {
            uc->uc_mcontext.gregs[REG_TRAPNO] = TRAP_PAGE_FAULT;
            uc->uc_mcontext.gregs[REG_ERR] = PAGE_FAULT_USER_READ;
        } else if (sig == SIGFPE && info->si_code == FPE_INTDIV) {
            uc->uc_mcontext.gregs[REG_TRAPNO] = TRAP_DIVIDE;
        }
    }
    wrapped[sig](sig, info, context);
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old)
{
    static sigaction_fn next;
    if (!next) next = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    if (act && (act->sa_flags & SA_SIGINFO) && (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE)) {
        struct sigaction mine = *act;
        wrapped[sig] = act->sa_sigaction;
        mine.sa_sigaction = with_trap_number;
        return next(sig, &mine, old);
    }
    return next(sig, act, old);
}
