/* A 32-bit or x64 Windows program that faults and reports the exception
 * Windows raised for it: the faults a vendor library may cause in a host
 * must reach the host as the exceptions Windows gives, emulated or not.
 *   faults access|divide   prints the exception code and exits 0 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static LONG CALLBACK report(EXCEPTION_POINTERS* e)
{
    printf("exception %08lx\n", (unsigned long)e->ExceptionRecord->ExceptionCode);
    fflush(stdout);
    ExitProcess(0);
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(int argc, char** argv)
{
    AddVectoredExceptionHandler(1, report);
    if (argc > 1 && strcmp(argv[1], "access") == 0) {
        // Through a volatile pointer, so the compiler cannot see where it goes.
        int* volatile nowhere = (int*)16;
        *nowhere = 1;
    } else if (argc > 1 && strcmp(argv[1], "divide") == 0) {
        volatile int dividend = 7, zero = 0;
        volatile int quotient = dividend / zero;
        (void)quotient;
    }
    printf("no fault\n");
    return 1;
}
