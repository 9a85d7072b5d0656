package dscjna;

import java.time.Duration;

/**
 * A call of the binding waited its whole lock timeout while another thread
 * held the library: a selection still open (a {@link SelectedCertificate} not
 * yet signed or closed), the chooser waiting for the user, or a long call. The
 * message names that thread and how long it has held the lock. Nothing was
 * sent to the library; the call may be tried again.
 *
 * <p>The timeout is {@link DscSigner#DEFAULT_LOCK_TIMEOUT} unless the system
 * property {@value DscSigner#LOCK_TIMEOUT_PROPERTY} or
 * {@link DscSigner#withLockTimeout} sets another.
 */
public class DscLockTimeoutException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final transient Duration timeout;

    DscLockTimeoutException(String operation, Duration timeout, String holder, Duration held) {
        super(operation + " waited " + timeout.toMillis() + " ms for the library while another selection is still open:"
                + " thread \"" + holder + "\" has held the library's lock for " + held.toMillis()
                + " ms (a SelectedCertificate not yet signed or closed, or the chooser waiting for the user)");
        this.timeout = timeout;
    }

    /**
     * How long the call waited before giving up.
     *
     * @return the lock timeout of the call
     */
    public Duration timeout() {
        return timeout;
    }
}
