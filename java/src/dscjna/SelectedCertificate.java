package dscjna;

/**
 * A selection made by {@link DscSigner#select}, holding the process-wide
 * lock until it signs or is closed, so that no other selection can come
 * between it and its signature.
 *
 * <p>Thread-safety: confined to the thread that selected. Signing or closing
 * from another thread throws {@link IllegalStateException}; so does signing
 * after a later selection on the same thread replaced this one, or signing a
 * second time (the library uses a selection up with its first signature,
 * whether that succeeds or not).
 */
public final class SelectedCertificate implements AutoCloseable {
    private final String certificate;
    private final long selection;
    private final Thread owner = Thread.currentThread();
    private boolean released;

    SelectedCertificate(String certificate, long selection) {
        this.certificate = certificate;
        this.selection = selection;
    }

    /** The selected certificate, base64 DER. */
    public String certificate() {
        return certificate;
    }

    /** Signs with the selection (attached content) and releases the lock; see {@link DscSigner#sign}. */
    public byte[] sign(byte[] data, char[] pin) throws DscException {
        return signAs(data, DscSigner.ATTACHED, pin);
    }

    /** As {@link #sign}, with a detached signature. */
    public byte[] signDetached(byte[] data, char[] pin) throws DscException {
        return signAs(data, DscSigner.DETACHED, pin);
    }

    private byte[] signAs(byte[] data, int mode, char[] pin) throws DscException {
        checkOwner("sign with");
        if (released) throw new IllegalStateException("this selection is used up; select again");
        try {
            if (!DscSigner.isCurrent(selection))
                throw new IllegalStateException("a later selection on this thread replaced this one; select again");
            return DscSigner.signSelected(DscLibrary.get(), DscLibrary.text(), data, mode, pin);
        } finally {
            close();
        }
    }

    /** Releases the lock without signing; does nothing when already released. */
    @Override
    public void close() {
        checkOwner("close");
        if (released) return;
        released = true;
        DscLibrary.LOCK.unlock();
    }

    private void checkOwner(String action) {
        if (Thread.currentThread() != owner)
            throw new IllegalStateException("cannot " + action + " a selection made on thread \"" + owner.getName()
                    + "\" from thread \"" + Thread.currentThread().getName()
                    + "\": it holds that thread's lock; use DscSigner.sign for one call that selects and signs");
    }
}
