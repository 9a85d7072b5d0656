package dscjna;

import com.sun.jna.Pointer;
import java.nio.charset.Charset;
import java.util.Base64;

/**
 * The library for Java callers: select a certificate, then sign with it.
 *
 * <p>The library keeps the selected certificate in the process and takes no
 * locks, so every call here holds one lock and a selection belongs to the
 * next {@link #sign} only: select and sign from one thread, in that order.
 */
public final class DscSigner {
    private static final Object LOCK = new Object();
    private static final int CERT_AREA = 4096;
    private static final int TEXT_AREA = 4096;

    private final DscJna lib;
    private final Charset charset;

    public DscSigner() {
        this(DscJna.INSTANCE, Charset.forName(DscJna.ENCODING));
    }

    DscSigner(DscJna lib, Charset charset) {
        this.lib = lib;
        this.charset = charset;
    }

    /** Selects the certificate whose subject DN contains {@code dn}; returns it as base64. */
    public String selectByDn(String dn) throws DscException {
        return selectByFields("DN", dn);
    }

    /**
     * Selects by subject fields: {@code fields} "CN" or "CN,O", {@code values}
     * the matching substrings "Alice" or "Alice,Org". Several matches go to the
     * chooser, where the user may cancel (code -1005).
     */
    public String selectByFields(String fields, String values) throws DscException {
        synchronized (LOCK) {
            byte[] cert = new byte[CERT_AREA];
            check("Sgn_SelectCertByDn", lib.Sgn_SelectCertByDn(fields, values, cert));
            return text(cert);
        }
    }

    /** Every certificate takes part; several go to the chooser. */
    public String selectAny() throws DscException {
        return selectByFields(null, null);
    }

    /** Selects the signing certificate of the token with this serial number (RSA or SM2). */
    public String selectByKeySn(String tokenSerial) throws DscException {
        synchronized (LOCK) {
            byte[] cert = new byte[CERT_AREA];
            check("Sgn_SelectCertByKeySn", lib.Sgn_SelectCertByKeySn(tokenSerial, cert, cert.length));
            return text(cert);
        }
    }

    /**
     * Signs with the selected certificate (used up either way) and returns
     * the DER PKCS#7 SignedData: SM2 with SM3, or RSA with SHA-1.
     *
     * @param pin the token's user PIN, verified on the token first (wrong: -1040)
     */
    public byte[] sign(byte[] data, boolean detached, String pin) throws DscException {
        // A length of 0 would make the library read data as a NUL-terminated text.
        if (data == null || data.length == 0) throw new IllegalArgumentException("nothing to sign");
        synchronized (LOCK) {
            Pointer result = lib.Sgn_Sign(data, data.length, detached ? 2 : 1, pin);
            if (result == null) throw new DscException("Sgn_Sign", -1);
            String text;
            try {
                text = result.getString(0, "US-ASCII");
            } finally {
                lib.Sgn_Free(result);
            }
            if (text.startsWith("-")) throw new DscException("Sgn_Sign", Integer.parseInt(text));
            return Base64.getDecoder().decode(text);
        }
    }

    /** The labels of the tokens present, joined by {@code separator} (null: "|"). */
    public String devices(String separator) throws DscException {
        synchronized (LOCK) {
            byte[] out = new byte[TEXT_AREA];
            check("Sgn_Dev_Enum", lib.Sgn_Dev_Enum(separator, out, out.length));
            return text(out);
        }
    }

    public String serialNumber(String label) throws DscException {
        synchronized (LOCK) {
            byte[] out = new byte[TEXT_AREA];
            check("Sgn_Dev_GetSerialNumber", lib.Sgn_Dev_GetSerialNumber(label, out, out.length));
            return text(out);
        }
    }

    /** The user data of the token with this label (null: the only token present). */
    public String userData(String label) throws DscException {
        synchronized (LOCK) {
            byte[] out = new byte[TEXT_AREA];
            check("Sgn_Dev_GetUserData", lib.Sgn_Dev_GetUserData(label, out, out.length));
            return text(out);
        }
    }

    public void changePin(String label, String oldPin, String newPin) throws DscException {
        synchronized (LOCK) {
            check("Sgn_Dev_ChangePin_ex", lib.Sgn_Dev_ChangePin_ex(label, oldPin, newPin));
        }
    }

    /** "DN", "SN" (hexadecimal) or a subject field name of a base64 certificate. */
    public String certProperty(String cert, String field) throws DscException {
        synchronized (LOCK) {
            int length = check("Sgn_GetCertProperty", lib.Sgn_GetCertProperty(cert, field, null, 0));
            byte[] out = new byte[length + 1];
            check("Sgn_GetCertProperty", lib.Sgn_GetCertProperty(cert, field, out, out.length));
            return text(out);
        }
    }

    /** Turns the diagnostic log on (once per process); null takes the registry's SignLogPath. */
    public void setLog(String path) throws DscException {
        synchronized (LOCK) {
            check("Sgn_SetLog", lib.Sgn_SetLog(path));
        }
    }

    public void closeLog() {
        synchronized (LOCK) {
            lib.Sgn_CloseLog();
        }
    }

    private static int check(String operation, int code) throws DscException {
        if (code < 0) throw new DscException(operation, code);
        return code;
    }

    private String text(byte[] area) {
        int n = 0;
        while (n < area.length && area[n] != 0) n++;
        return new String(area, 0, n, charset);
    }
}
