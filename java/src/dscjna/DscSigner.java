package dscjna;

import com.sun.jna.Pointer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Base64;
import java.util.List;

/**
 * The library for Java callers. The recommended use is one call that selects
 * and signs: {@code signer.sign(Selection.byField("CN", "张三"), data, pin)}.
 *
 * <p>Thread-safety: any number of threads may share one instance or use
 * several. Every call holds {@link DscLibrary#LOCK}, the one lock of the
 * process, and {@link #sign}/{@link #signDetached} hold it across the
 * selection and its signature, so no other thread's selection can come
 * between them. The two-step form {@link #select} keeps the lock until its
 * {@link SelectedCertificate} signs or is closed.
 *
 * <p>Texts are converted by the binding in the library's code page
 * ({@link DscText}); a text that code page cannot represent is refused with
 * {@link IllegalArgumentException}. When the native library cannot be loaded
 * every method throws {@link DscLibraryUnavailableException}.
 */
public final class DscSigner {
    /** The size of a certificate output area: the library writes at most this many bytes. */
    static final int CERT_AREA = 4096;
    private static final int TEXT_AREA = 4096;
    private static final int DEVICES_AREA_MAX = 1 << 20;
    // Cannot occur inside a label: below 0x40 it is no trail byte of any
    // double-byte code page, and a label is a C string.
    private static final String LABEL_SEPARATOR = "\u001f";
    static final int ATTACHED = 1;
    static final int DETACHED = 2;

    /** Counts the selections made through the binding, so that an older handle sees it was replaced. */
    private static long selections;

    /**
     * Selects and signs under one lock; returns the DER PKCS#7 SignedData with
     * the data inside: SM2 with SM3, or RSA with SHA-1, as the certificate's key is.
     *
     * @param pin the token's user PIN, encoded into native memory that is
     *     zeroed after the call; the array stays the caller's to clear
     * @throws DscException.WrongPin the token refused the PIN (wrong or locked)
     * @throws DscException.NotFound no certificate matched
     * @throws DscException.Cancelled the user cancelled the chooser
     */
    public byte[] sign(Selection selection, byte[] data, char[] pin) throws DscException {
        return selectAndSign(selection, data, ATTACHED, pin);
    }

    /** As {@link #sign}, but the SignedData carries no content (a detached signature). */
    public byte[] signDetached(Selection selection, byte[] data, char[] pin) throws DscException {
        return selectAndSign(selection, data, DETACHED, pin);
    }

    private byte[] selectAndSign(Selection selection, byte[] data, int mode, char[] pin) throws DscException {
        checkData(data);
        return locked((lib, text) -> {
            apply(selection, lib, text);
            return signSelected(lib, text, data, mode, pin);
        });
    }

    /**
     * Selects and keeps the process-wide lock until the returned handle signs
     * or is closed, for a host that shows the certificate before asking for
     * the PIN. Use it in a {@code try}-with-resources on one thread: every
     * other thread's calls wait while the handle is open.
     */
    public SelectedCertificate select(Selection selection) throws DscException {
        DscJna lib = DscLibrary.get();
        DscText text = DscLibrary.text();
        DscLibrary.LOCK.lock();
        try {
            String cert = apply(selection, lib, text);
            return new SelectedCertificate(cert, selections);
        } catch (RuntimeException | DscException | Error e) {
            DscLibrary.LOCK.unlock();
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
        checkData(data);
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

    private static void checkData(byte[] data) {
        // A length of 0 would make the library read data as a NUL-terminated text.
        if (data == null || data.length == 0) throw new IllegalArgumentException("nothing to sign");
    }

    /** The labels of the tokens present, in the library's order; empty when there is none. */
    public List<String> devices() throws DscException {
        return locked((lib, text) -> {
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

    /** The serial number of the token with this label (null: the only token present). */
    public String serialNumber(String label) throws DscException {
        return deviceText(label, "Sgn_Dev_GetSerialNumber", false);
    }

    /** The user data of the token with this label (null: the only token present); "" when it has none. */
    public String userData(String label) throws DscException {
        return deviceText(label, "Sgn_Dev_GetUserData", true);
    }

    private String deviceText(String label, String operation, boolean userData) throws DscException {
        return locked((lib, text) -> {
            byte[] labelBytes = text.encode(label, "the label");
            byte[] out = new byte[TEXT_AREA];
            int rc = userData ? lib.Sgn_Dev_GetUserData(labelBytes, out, out.length)
                              : lib.Sgn_Dev_GetSerialNumber(labelBytes, out, out.length);
            if (userData && rc == ResultCode.DSC_ACX_ERR_EMPTY_TEXT.code) return "";
            check(operation, rc);
            return text.decode(out);
        });
    }

    /** Changes the user PIN of the token with this label (null: the only token present). */
    public void changePin(String label, char[] oldPin, char[] newPin) throws DscException {
        locked((lib, text) -> {
            byte[] labelBytes = text.encode(label, "the label");
            try (NativePin oldNative = new NativePin(text, oldPin, "the old PIN");
                 NativePin newNative = new NativePin(text, newPin, "the new PIN")) {
                return check("Sgn_Dev_ChangePin_ex",
                        lib.Sgn_Dev_ChangePin_ex(labelBytes, oldNative.pointer(), newNative.pointer()));
            }
        });
    }

    /** "DN", "SN" (hexadecimal) or a subject field name of a base64 certificate. */
    public String certProperty(String cert, String field) throws DscException {
        return locked((lib, text) -> {
            byte[] certBytes = text.encode(cert, "the certificate");
            byte[] fieldBytes = text.encode(field, "the field name");
            int length = check("Sgn_GetCertProperty", lib.Sgn_GetCertProperty(certBytes, fieldBytes, null, 0));
            byte[] out = new byte[length + 1];
            check("Sgn_GetCertProperty", lib.Sgn_GetCertProperty(certBytes, fieldBytes, out, out.length));
            return text.decode(out);
        });
    }

    /** Turns the diagnostic log on (once per process); null takes the registry's SignLogPath. */
    public void setLog(String path) throws DscException {
        locked((lib, text) -> check("Sgn_SetLog", lib.Sgn_SetLog(text.encode(path, "the log path"))));
    }

    public void closeLog() throws DscException {
        locked((lib, text) -> lib.Sgn_CloseLog());
    }

    /** One call of the library under the process-wide lock. */
    private interface LockedCall<T> {
        T run(DscJna lib, DscText text) throws DscException;
    }

    private static <T> T locked(LockedCall<T> call) throws DscException {
        DscJna lib = DscLibrary.get();
        DscText text = DscLibrary.text();
        DscLibrary.LOCK.lock();
        try {
            return call.run(lib, text);
        } finally {
            DscLibrary.LOCK.unlock();
        }
    }

    static int check(String operation, int code) throws DscException {
        if (code < 0) throw DscException.of(operation, code);
        return code;
    }
}
