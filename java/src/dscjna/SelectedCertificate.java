package dscjna;

import java.lang.ref.Cleaner;
import java.util.concurrent.atomic.AtomicBoolean;

/**
 * A selection made by {@link DscSigner#select}, holding the process-wide
 * lock until it signs or is closed, so that no other selection can come
 * between it and its signature. Every other thread's call of the binding
 * waits meanwhile (at most its lock timeout: {@link DscLockTimeoutException}).
 *
 * <p>Thread-safety: signing is confined to the thread that selected; signing
 * from another thread throws {@link IllegalStateException} and leaves the
 * selection as it was. {@link #close()} may be called from any thread, once
 * or many times: a watchdog that finds a selection left open closes it, and
 * the lock is free for the other threads at once; the selecting thread's
 * later {@code sign} then throws {@link IllegalStateException}. Signing also
 * throws that after a later selection on the same thread replaced this one,
 * or a second time (the library uses a selection up with its first
 * signature, whether that succeeds or not).
 *
 * <p>A selection that becomes unreachable without being closed is reported:
 * once the garbage collector finds it, a warning is logged through the
 * {@link System.Logger} named {@code dscjna}, with the thread and the stack
 * where it was selected, and its lock is released. Until then every other
 * thread waits, so close every selection (try-with-resources).
 */
public final class SelectedCertificate implements AutoCloseable {
    private static final Cleaner CLEANER = Cleaner.create();

    private final String certificate;
    private final long selection;
    private final Hold hold;
    private final Cleaner.Cleanable cleanable;

    SelectedCertificate(String certificate, long selection, Selection selected) {
        this.certificate = certificate;
        this.selection = selection;
        this.hold = new Hold(Thread.currentThread(), selected);
        this.cleanable = CLEANER.register(this, hold);
    }

    /**
     * The selected certificate.
     *
     * @return the certificate's DER in base64, the text {@link DscSigner#certProperty} reads
     */
    public String certificate() {
        return certificate;
    }

    /**
     * Signs with the selection, the data inside the SignedData, and releases
     * the lock; see {@link DscSigner#sign(Selection, byte[], char[])}.
     *
     * @param data the data to sign, not empty
     * @param pin the token's user PIN: not null, not empty, without NUL characters
     * @return the DER PKCS#7 SignedData
     * @throws DscException the library's failure ({@link DscException.WrongPin} for a refused PIN)
     * @throws IllegalArgumentException empty data or an unusable PIN, refused before the call (the selection stays)
     * @throws IllegalStateException called from another thread, after {@link #close()}, a second
     *     time, or after a later selection replaced this one
     */
    public byte[] sign(byte[] data, char[] pin) throws DscException {
        DscSigner.checkPin(pin, "the PIN");
        return signAs(data, DscSigner.ATTACHED, pin);
    }

    /**
     * As {@link #sign(byte[], char[])}, with a detached signature.
     *
     * @param data the data to sign, not empty
     * @param pin the token's user PIN: not null, not empty, without NUL characters
     * @return the DER PKCS#7 SignedData without the data
     * @throws DscException the library's failure ({@link DscException.WrongPin} for a refused PIN)
     */
    public byte[] signDetached(byte[] data, char[] pin) throws DscException {
        DscSigner.checkPin(pin, "the PIN");
        return signAs(data, DscSigner.DETACHED, pin);
    }

    /**
     * Signs without a PIN, for a certificate of a system store whose provider
     * asks for its own; see {@link DscSigner#signWithoutPin}.
     *
     * @param data the data to sign, not empty
     * @param detached whether the SignedData leaves the data out
     * @return the DER PKCS#7 SignedData
     * @throws DscException the library's failure ({@link DscException.WrongPin} for a token's certificate)
     */
    public byte[] signWithoutPin(byte[] data, boolean detached) throws DscException {
        return signAs(data, detached ? DscSigner.DETACHED : DscSigner.ATTACHED, null);
    }

    private byte[] signAs(byte[] data, int mode, char[] pin) throws DscException {
        if (Thread.currentThread() != hold.owner)
            throw new IllegalStateException("cannot sign with a selection made on thread \"" + hold.owner.getName()
                    + "\" from thread \"" + Thread.currentThread().getName()
                    + "\"; use DscSigner.sign for one call that selects and signs");
        DscSigner.checkData(data);
        // Taking the hold over makes a close from another thread from now on a
        // no-op: the lock stays this thread's until the signature is made.
        if (!hold.take()) throw new IllegalStateException("this selection is used up or closed; select again");
        try {
            if (!DscSigner.isCurrent(selection))
                throw new IllegalStateException("a later selection on this thread replaced this one; select again");
            return DscSigner.signSelected(DscLibrary.get(), DscLibrary.text(), data, mode, pin);
        } finally {
            LibraryLock.release(hold.owner);
            cleanable.clean();
        }
    }

    /**
     * Releases the lock without signing, from any thread; does nothing when
     * the selection has already signed or been closed.
     */
    @Override
    public void close() {
        if (hold.take()) LibraryLock.release(hold.owner);
        cleanable.clean();
    }

    /**
     * The lock hold of one selection, shared with the cleaner; it must not
     * refer to the {@code SelectedCertificate}, or that would never become
     * unreachable.
     */
    private static final class Hold implements Runnable {
        private static final System.Logger LOG = System.getLogger("dscjna");

        final Thread owner;
        private final String selected;
        private final Throwable where;
        private final AtomicBoolean released = new AtomicBoolean();

        Hold(Thread owner, Selection selected) {
            this.owner = owner;
            this.selected = selected.toString();
            this.where = new Throwable("selected here");
        }

        /** True for the one caller that gets to give the hold back. */
        boolean take() {
            return released.compareAndSet(false, true);
        }

        /** Run by the cleaner once the selection is unreachable, or by clean() after a sign or close. */
        @Override
        public void run() {
            if (!take()) return;
            LOG.log(System.Logger.Level.WARNING, "a SelectedCertificate (" + selected + ") selected on thread \""
                    + owner.getName() + "\" became unreachable without being closed; every other thread waited"
                    + " for it until now: its lock is released", where);
            LibraryLock.release(owner);
        }
    }
}
