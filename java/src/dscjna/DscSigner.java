package dscjna;

import com.sun.jna.Pointer;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Base64;
import java.util.List;
import java.util.Objects;

/**
 * The library for Java callers. The recommended use is one call that selects
 * and signs: {@code signer.sign(Selection.byField("CN", "张三"), data, pin)}.
 *
 * <p>Thread-safety: any number of threads may share one instance or use
 * several. Every call holds the binding's one lock of the process (the one
 * {@link DscLibrary#lock} takes), and {@link #sign}/{@link #signDetached} hold
 * it across the selection and its signature, so no other thread's selection
 * can come between them. The two-step form {@link #select} keeps the lock
 * until its {@link SelectedCertificate} signs or is closed.
 *
 * <p>Waiting for the lock is bounded and interruptible: a call that finds
 * another thread holding it (an open selection, the chooser waiting for the
 * user) waits at most its lock timeout, then throws
 * {@link DscLockTimeoutException}; an interrupted waiter throws
 * {@link DscInterruptedException}. The timeout is
 * {@link #DEFAULT_LOCK_TIMEOUT}, or the system property
 * {@value #LOCK_TIMEOUT_PROPERTY} (milliseconds) read when the signer is made,
 * or per call through {@link #withLockTimeout}.
 *
 * <p>Texts are converted by the binding in the library's code page
 * ({@link DscText}); a text that code page cannot represent, or one with a NUL
 * character, is refused with {@link IllegalArgumentException} before the
 * call. When the native library cannot be loaded every method that calls it
 * throws {@link DscLibraryUnavailableException}.
 */
public final class DscSigner {
    /** The system property that sets the lock timeout of signers made without one, in milliseconds. */
    public static final String LOCK_TIMEOUT_PROPERTY = "dsc.jna.lockTimeoutMillis";
    /** The lock timeout when {@value #LOCK_TIMEOUT_PROPERTY} is unset: one minute. */
    public static final Duration DEFAULT_LOCK_TIMEOUT = Duration.ofMinutes(1);

    /** The size of a certificate output area: the library writes at most this many bytes. */
    static final int CERT_AREA = Limits.CERT_TEXT_SIZE;
    private static final int TEXT_AREA = Limits.CERT_TEXT_SIZE;
    private static final int DEVICES_AREA_MAX = 1 << 20;
    // Cannot occur inside a label: below 0x40 it is no trail byte of any
    // double-byte code page, and a label is a C string.
    private static final String LABEL_SEPARATOR = "\u001f";
    static final int ATTACHED = 1;
    static final int DETACHED = 2;

    /** Counts the selections made through the binding, so that an older handle sees it was replaced. */
    private static long selections;

    private final Duration lockTimeout;

    /**
     * A signer whose calls wait for the lock at most the time the system
     * property {@value #LOCK_TIMEOUT_PROPERTY} gives, or
     * {@link #DEFAULT_LOCK_TIMEOUT} when it is unset.
     *
     * @throws IllegalArgumentException the property is not a number of milliseconds of zero or more
     */
    public DscSigner() {
        this(lockTimeoutFromProperty());
    }

    private DscSigner(Duration lockTimeout) {
        this.lockTimeout = lockTimeout;
    }

    private static Duration lockTimeoutFromProperty() {
        String value = System.getProperty(LOCK_TIMEOUT_PROPERTY);
        if (value == null || value.isBlank()) return DEFAULT_LOCK_TIMEOUT;
        try {
            long millis = Long.parseLong(value.trim());
            if (millis >= 0) return Duration.ofMillis(millis);
        } catch (NumberFormatException e) {
            // reported below
        }
        throw new IllegalArgumentException("the system property " + LOCK_TIMEOUT_PROPERTY + "=\"" + value
                + "\" is not a number of milliseconds of zero or more");
    }

    /**
     * A signer like this one whose calls wait for the lock at most
     * {@code timeout}: {@code signer.withLockTimeout(Duration.ofSeconds(5)).sign(...)}
     * bounds one call. Zero gives up at once when another thread holds the lock.
     *
     * @param timeout how long each call waits for another thread's selection to end; not negative
     * @return a signer with that timeout
     */
    public DscSigner withLockTimeout(Duration timeout) {
        if (Objects.requireNonNull(timeout, "timeout").isNegative())
            throw new IllegalArgumentException("a negative lock timeout: " + timeout);
        return new DscSigner(timeout);
    }

    /**
     * How long this signer's calls wait for the lock.
     *
     * @return the lock timeout
     */
    public Duration lockTimeout() {
        return lockTimeout;
    }

    /**
     * Selects and signs under one lock; returns the DER PKCS#7 SignedData with
     * the data inside: SM2 with SM3, or RSA with SHA-1, as the certificate's key is.
     *
     * @param selection which certificate
     * @param data the data to sign, not empty
     * @param pin the token's user PIN, not null, not empty and without NUL
     *     characters (refused with {@link IllegalArgumentException} before the
     *     call, costing no try of the token); encoded into native memory that is
     *     zeroed after the call; the array stays the caller's to clear
     * @return the DER PKCS#7 SignedData
     * @throws DscException.WrongPin the token refused the PIN (wrong or locked)
     * @throws DscException.NotFound no certificate matched
     * @throws DscException.Cancelled the user cancelled the chooser
     * @throws DscException another failure of the library
     * @throws DscLockTimeoutException another thread's selection stayed open for the whole lock timeout
     */
    public byte[] sign(Selection selection, byte[] data, char[] pin) throws DscException {
        checkPin(pin, "the PIN");
        return selectAndSign(selection, data, ATTACHED, pin);
    }

    /**
     * As {@link #sign}, but the SignedData carries no content (a detached signature).
     *
     * @param selection which certificate
     * @param data the data to sign, not empty
     * @param pin the token's user PIN, as for {@link #sign}
     * @return the DER PKCS#7 SignedData without the data
     * @throws DscException the library's failure, as for {@link #sign}
     */
    public byte[] signDetached(Selection selection, byte[] data, char[] pin) throws DscException {
        checkPin(pin, "the PIN");
        return selectAndSign(selection, data, DETACHED, pin);
    }

    /**
     * Selects and signs without a PIN, for a certificate of a system store
     * whose provider asks for its PIN itself. A token's certificate needs its
     * PIN: the library refuses it with {@link DscException.WrongPin} without
     * asking the token.
     *
     * @param selection which certificate
     * @param data the data to sign, not empty
     * @param detached whether the SignedData leaves the data out
     * @return the DER PKCS#7 SignedData
     * @throws DscException the library's failure, as for {@link #sign}
     */
    public byte[] signWithoutPin(Selection selection, byte[] data, boolean detached) throws DscException {
        return selectAndSign(selection, data, detached ? DETACHED : ATTACHED, null);
    }

    private byte[] selectAndSign(Selection selection, byte[] data, int mode, char[] pin) throws DscException {
        Objects.requireNonNull(selection, "selection");
        checkData(data);
        return locked("Sgn_Sign", (lib, text) -> {
            apply(selection, lib, text);
            return signSelected(lib, text, data, mode, pin);
        });
    }

    /**
     * Selects and keeps the process-wide lock until the returned handle signs
     * or is closed, for a host that shows the certificate before asking for
     * the PIN. Use it in a {@code try}-with-resources: every other thread's
     * calls wait while the handle is open (each at most its lock timeout).
     *
     * @param selection which certificate
     * @return the selection, holding the lock
     * @throws DscException.NotFound no certificate matched
     * @throws DscException.Cancelled the user cancelled the chooser
     * @throws DscException another failure of the library
     */
    public SelectedCertificate select(Selection selection) throws DscException {
        Objects.requireNonNull(selection, "selection");
        DscJna lib = DscLibrary.get();
        DscText text = DscLibrary.text();
        LibraryLock.acquire(lockTimeout, "select");
        try {
            String cert = apply(selection, lib, text);
            return new SelectedCertificate(cert, selections, selection);
        } catch (RuntimeException | DscException | Error e) {
            LibraryLock.release(Thread.currentThread());
            throw e;
        }
    }

    /** Makes {@code selection} the library's; call with the lock held. */
    private static String apply(Selection selection, DscJna lib, DscText text) throws DscException {
        // Counted before the call: a failed selection may have cleared the library's.
        selections++;
        return selection.apply(lib, text);
    }

    /** Whether {@code selection} is still the last one made; call with the lock held. */
    static boolean isCurrent(long selection) {
        return selections == selection;
    }

    /** Signs with the library's current selection, which is used up either way; call with the lock held. */
    static byte[] signSelected(DscJna lib, DscText text, byte[] data, int mode, char[] pin) throws DscException {
        selections++;
        Pointer result;
        try (NativePin nativePin = new NativePin(text, pin, "the PIN")) {
            result = lib.Sgn_Sign(data, data.length, mode, nativePin.pointer());
        }
        if (result == null) throw new IllegalStateException("Sgn_Sign returned no text (the library ran out of memory)");
        String out;
        try {
            out = result.getString(0, StandardCharsets.US_ASCII.name());
        } finally {
            lib.Sgn_Free(result);
        }
        if (out.startsWith("-")) throw DscException.of("Sgn_Sign", Integer.parseInt(out));
        return Base64.getDecoder().decode(out);
    }

    static void checkData(byte[] data) {
        // A length of 0 would make the library read data as a NUL-terminated text.
        if (data == null || data.length == 0) throw new IllegalArgumentException("nothing to sign");
    }

    /**
     * Refuses a PIN the library could only refuse after the call: null and
     * empty come back as a wrong PIN though no token was asked, and a NUL
     * would cut the PIN short.
     */
    static void checkPin(char[] pin, String what) {
        if (pin == null) throw new IllegalArgumentException(what + " is null (signWithoutPin signs without one)");
        if (pin.length == 0) throw new IllegalArgumentException(what + " is empty");
        for (char c : pin)
            if (c == '\0') throw new IllegalArgumentException(what + " contains a NUL character");
    }

    /**
     * The labels of the SKF tokens present, in the library's order. A token
     * whose label is empty is left out (it is still reached by a null label
     * when it is the only token).
     *
     * @return the labels; empty when no token is present
     * @throws DscException a failure of the library, for example two tokens with the same label (-3064)
     */
    public List<String> devices() throws DscException {
        return locked("Sgn_Dev_Enum", (lib, text) -> {
            byte[] separator = text.encode(LABEL_SEPARATOR, "the separator");
            for (int size = TEXT_AREA;; size *= 2) {
                byte[] out = new byte[size];
                int rc = lib.Sgn_Dev_Enum(separator, out, out.length);
                if (rc == ResultCode.DSC_ACX_ERR_DEV_BUFFER.code && size < DEVICES_AREA_MAX) continue;
                if (rc == ResultCode.DSC_ACX_ERR_NO_DEVICE.code || rc == ResultCode.DSC_ACX_ERR_EMPTY_TEXT.code)
                    return List.of();
                check("Sgn_Dev_Enum", rc);
                List<String> labels = new ArrayList<>();
                for (String label : text.decode(out).split(LABEL_SEPARATOR)) labels.add(label);
                return List.copyOf(labels);
            }
        });
    }

    /**
     * The serial number of a token.
     *
     * @param label the token's label, exactly (case-sensitive); null or empty:
     *     the only token present
     * @return the serial number
     * @throws DscException.NoToken no token is present
     * @throws DscException another failure: no token with that label (-3056), a null label with
     *     several tokens present (-3057)
     */
    public String serialNumber(String label) throws DscException {
        // The export refuses a null label, but an empty one means the only token.
        return deviceText(label == null ? "" : label, "Sgn_Dev_GetSerialNumber", false);
    }

    /**
     * The user data of a token.
     *
     * @param label the token's label, exactly (case-sensitive); null or empty:
     *     the only token present
     * @return the user data; "" when the token has none
     * @throws DscException.NoToken no token is present
     * @throws DscException another failure, as for {@link #serialNumber}
     */
    public String userData(String label) throws DscException {
        return deviceText(label, "Sgn_Dev_GetUserData", true);
    }

    private String deviceText(String label, String operation, boolean userData) throws DscException {
        return locked(operation, (lib, text) -> {
            byte[] labelBytes = text.encode(label, "the label");
            byte[] out = new byte[TEXT_AREA];
            int rc = userData ? lib.Sgn_Dev_GetUserData(labelBytes, out, out.length)
                              : lib.Sgn_Dev_GetSerialNumber(labelBytes, out, out.length);
            if (userData && rc == ResultCode.DSC_ACX_ERR_EMPTY_TEXT.code) return "";
            check(operation, rc);
            return text.decode(out);
        });
    }

    /**
     * Changes the user PIN of a token (the token must hold one application).
     *
     * @param label the token's label, exactly; null or empty: the only token present
     * @param oldPin the current user PIN: not null, not empty, without NUL characters
     * @param newPin the new user PIN, likewise; both are refused with
     *     {@link IllegalArgumentException} before the call
     * @throws DscException.WrongPin the token refused the change: a wrong or
     *     locked old PIN (the library cannot tell these from a token that
     *     failed to answer)
     * @throws DscException.NoToken no token is present
     * @throws DscException another failure, as for {@link #serialNumber}
     */
    public void changePin(String label, char[] oldPin, char[] newPin) throws DscException {
        checkPin(oldPin, "the old PIN");
        checkPin(newPin, "the new PIN");
        locked("Sgn_Dev_ChangePin_ex", (lib, text) -> {
            byte[] labelBytes = text.encode(label, "the label");
            try (NativePin oldNative = new NativePin(text, oldPin, "the old PIN");
                 NativePin newNative = new NativePin(text, newPin, "the new PIN")) {
                return check("Sgn_Dev_ChangePin_ex",
                        lib.Sgn_Dev_ChangePin_ex(labelBytes, oldNative.pointer(), newNative.pointer()));
            }
        });
    }

    /**
     * Reads one thing of a certificate.
     *
     * @param cert the certificate's DER in base64 (as {@link SelectedCertificate#certificate()} gives
     *     it), with or without PEM armour; null or empty gives -1001
     * @param field "DN" for the subject DN (the text {@link Selection#byDn} compares with), "SN" for
     *     the serial number in upper-case hexadecimal, or a subject field name such as "CN" or "O"
     *     (the first value); case-insensitive
     * @return the property
     * @throws DscException the text is no certificate (-1016), the subject has no such field (-2008),
     *     or another failure of the library
     */
    public String certProperty(String cert, String field) throws DscException {
        return locked("Sgn_GetCertProperty", (lib, text) -> {
            byte[] certBytes = text.encode(cert, "the certificate");
            byte[] fieldBytes = text.encode(field, "the field name");
            int length = check("Sgn_GetCertProperty", lib.Sgn_GetCertProperty(certBytes, fieldBytes, null, 0));
            byte[] out = new byte[length + 1];
            check("Sgn_GetCertProperty", lib.Sgn_GetCertProperty(certBytes, fieldBytes, out, out.length));
            return text.decode(out);
        });
    }

    /**
     * Turns the library's diagnostic log on, once per process: later calls
     * change nothing and return normally.
     *
     * @param path the log file; null or empty takes the registry's SignLogPath (no log when that is unset too)
     * @throws DscException the log file cannot be created (-3009)
     */
    public void setLog(String path) throws DscException {
        locked("Sgn_SetLog", (lib, text) -> check("Sgn_SetLog", lib.Sgn_SetLog(text.encode(path, "the log path"))));
    }

    /**
     * Turns the diagnostic log off for the rest of the process.
     *
     * @throws DscException not thrown by the library today; declared for the binding's uniform failures
     */
    public void closeLog() throws DscException {
        locked("Sgn_CloseLog", (lib, text) -> lib.Sgn_CloseLog());
    }

    /** One call of the library under the process-wide lock. */
    private interface LockedCall<T> {
        T run(DscJna lib, DscText text) throws DscException;
    }

    private <T> T locked(String operation, LockedCall<T> call) throws DscException {
        DscJna lib = DscLibrary.get();
        DscText text = DscLibrary.text();
        LibraryLock.acquire(lockTimeout, operation);
        try {
            return call.run(lib, text);
        } finally {
            LibraryLock.release(Thread.currentThread());
        }
    }

    static int check(String operation, int code) throws DscException {
        if (code < 0) throw DscException.of(operation, code);
        return code;
    }
}
