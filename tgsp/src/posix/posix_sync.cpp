// The slim reader/writer lock, exclusive use, over a POSIX mutex.
#include <windows.h>

void AcquireSRWLockExclusive(PSRWLOCK lock) { pthread_mutex_lock(&lock->mutex); }

void ReleaseSRWLockExclusive(PSRWLOCK lock) { pthread_mutex_unlock(&lock->mutex); }

BOOLEAN TryAcquireSRWLockExclusive(PSRWLOCK lock) { return pthread_mutex_trylock(&lock->mutex) == 0; }
