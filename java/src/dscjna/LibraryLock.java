package dscjna;

import java.time.Duration;

/**
 * The one lock of the process that pairs each selection with its signature:
 * the next {@code Sgn_Sign} from any thread signs with the last selection from
 * any thread, so a selection and its sign must not be split by another
 * thread's call.
 *
 * <p>Re-entrant for the thread that holds it, and waited for with a bound and
 * interruptibly. A hold is counted for its thread but may be given back by any
 * thread: a {@link SelectedCertificate} is closed by whichever thread notices
 * it is no longer wanted (or by the cleaner once it is unreachable), and that
 * must free the thread that selected. A plain {@code ReentrantLock} refuses an
 * unlock from a thread that does not own it.
 */
final class LibraryLock {
    private static final Object MONITOR = new Object();
    private static Thread owner;
    private static int holds;
    private static long heldSinceNanos;

    private LibraryLock() {}

    /**
     * Takes one hold for the current thread, waiting at most {@code timeout}.
     *
     * @throws DscLockTimeoutException another thread held the lock the whole time
     * @throws DscInterruptedException the thread was interrupted while waiting;
     *     its interrupt status is set again
     */
    static void acquire(Duration timeout, String operation) {
        Thread me = Thread.currentThread();
        synchronized (MONITOR) {
            if (owner == me) {
                holds++;
                return;
            }
            long deadline = System.nanoTime() + timeout.toNanos();
            while (owner != null) {
                long left = deadline - System.nanoTime();
                if (left <= 0) throw new DscLockTimeoutException(operation, timeout, owner.getName(),
                        Duration.ofNanos(System.nanoTime() - heldSinceNanos));
                try {
                    // Rounded up: wait(0) would wait without a bound.
                    MONITOR.wait(Math.max(1, (left + 999_999) / 1_000_000));
                } catch (InterruptedException e) {
                    me.interrupt();
                    throw new DscInterruptedException(operation, e);
                }
            }
            owner = me;
            holds = 1;
            heldSinceNanos = System.nanoTime();
        }
    }

    /** Gives back one hold of {@code holder}'s; the last one frees the lock for the waiting threads. */
    static void release(Thread holder) {
        synchronized (MONITOR) {
            if (owner != holder || holds == 0)
                throw new IllegalStateException("thread \"" + holder.getName() + "\" holds no lock of the library");
            if (--holds > 0) return;
            owner = null;
            MONITOR.notifyAll();
        }
    }

    /** Whether any thread holds the lock now. */
    static boolean isHeld() {
        synchronized (MONITOR) {
            return owner != null;
        }
    }
}
