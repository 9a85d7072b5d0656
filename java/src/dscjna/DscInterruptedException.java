package dscjna;

/**
 * The thread was interrupted (for example by {@code Future.cancel(true)})
 * while it waited for another thread's selection to end. Nothing was sent to
 * the library, and the thread's interrupt status is set again so that the
 * code above sees the interruption too; the {@linkplain #getCause() cause} is
 * the {@link InterruptedException}.
 */
public class DscInterruptedException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    DscInterruptedException(String operation, InterruptedException cause) {
        super(operation + " was interrupted while it waited for another thread's selection to end", cause);
    }
}
