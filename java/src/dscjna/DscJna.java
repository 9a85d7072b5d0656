package dscjna;

import com.sun.jna.Library;
import com.sun.jna.Pointer;

/**
 * The eleven exports of dsc_jna_v3, bound by JNA with their exact C types.
 *
 * <p>Every text crosses as NUL-terminated bytes in the library's code page
 * (the ANSI code page on Windows, the locale's codeset on Linux), so no
 * parameter here is a {@code String}: JNA's own string conversion uses the
 * JVM's default charset, which is not that code page in general, and some
 * JNA builds ignore {@code OPTION_STRING_ENCODING}. Encode with
 * {@link DscLibrary#text()} (see {@link DscText}) and decode output areas
 * the same way. {@code Sgn_Sign} returns memory owned by the library: it must
 * go back through {@code Sgn_Free}, never {@code Native.free}.
 *
 * <p>Obtain it with {@link DscLibrary#get()}. Thread-safety: the library
 * serves one call at a time, but a selection and the next {@code Sgn_Sign}
 * belong together process-wide, so a caller of this interface holds
 * {@link DscLibrary#lock} across each select-and-sign pair; {@link DscSigner}
 * takes the same lock itself.
 *
 * <p>Results: 0 (or a length) on success, a negative code of
 * {@link ResultCode} on failure.
 */
public interface DscJna extends Library {

    /**
     * The labels of the tokens present, joined by the separator.
     *
     * @param separator NUL-terminated, at most 15 bytes; null means "|"
     * @param out the output area
     * @param outLen its size
     * @return 0, or a negative code (-3055 no token, -3062 no labelled token)
     */
    int Sgn_Dev_Enum(byte[] separator, byte[] out, int outLen);

    /**
     * The serial number of a token.
     *
     * @param label the token's label; empty for the only token (null is refused with -1001)
     * @param out the output area
     * @param outLen its size
     * @return 0 or a negative code
     */
    int Sgn_Dev_GetSerialNumber(byte[] label, byte[] out, int outLen);

    /**
     * The user data of a token.
     *
     * @param label the token's label; null or empty for the only token
     * @param out the output area
     * @param outLen its size
     * @return 0 or a negative code (-3062 when the token has none)
     */
    int Sgn_Dev_GetUserData(byte[] label, byte[] out, int outLen);

    /**
     * Changes a token's user PIN.
     *
     * @param label the token's label; null or empty for the only token
     * @param oldPin the current PIN, NUL-terminated
     * @param newPin the new PIN, NUL-terminated
     * @return 0 or a negative code (-3061 when the token refused the change)
     */
    int Sgn_Dev_ChangePin_ex(byte[] label, Pointer oldPin, Pointer newPin);

    /**
     * Selects the signing certificate of the token with this serial number (any algorithm).
     *
     * @param deviceSn the token's serial number
     * @param outCert receives the certificate as base64
     * @param outLen its size
     * @return 0 or a negative code
     */
    int Sgn_SelectCertByKeySn(byte[] deviceSn, byte[] outCert, int outLen);

    /**
     * Selects an SM2 certificate by its whole subject DN ({@code field} "DN")
     * or by subject fields; with null or empty texts every SM2 certificate
     * takes part.
     *
     * @param field "DN", a field name or several separated by commas
     * @param value the DN or the values, separated by commas
     * @param outCert receives the certificate as base64; must hold at least
     *     {@value DscSigner#CERT_AREA} bytes: the library is not told its size
     * @return 0 or a negative code
     */
    int Sgn_SelectCertByDn(byte[] field, byte[] value, byte[] outCert);

    /**
     * Signs with the selection, which is used up either way.
     *
     * @param data the data
     * @param dataLen its length, more than 0
     * @param mode 1 attached, 2 detached
     * @param pin the token's user PIN, NUL-terminated; null for a certificate of a system store
     * @return the base64 SignedData or a negative code in decimal; release it with {@link #Sgn_Free}
     */
    Pointer Sgn_Sign(byte[] data, int dataLen, int mode, Pointer pin);

    /**
     * Reads one thing of a certificate.
     *
     * @param cert the base64 certificate, NUL-terminated
     * @param field "DN", "SN" or a subject field name
     * @param out the output area (DN and fields are not NUL-terminated by the library: zero it first)
     * @param outLen its size; 0 with a null {@code out} measures
     * @return 0 (or the length when measuring) or a negative code
     */
    int Sgn_GetCertProperty(byte[] cert, byte[] field, byte[] out, int outLen);

    /**
     * Turns the log on, once per process.
     *
     * @param path the log file; null or empty for the registry's SignLogPath
     * @return 0 or a negative code
     */
    int Sgn_SetLog(byte[] path);

    /**
     * Turns the log off for good.
     *
     * @return 0
     */
    int Sgn_CloseLog();

    /**
     * Gives back a text {@code Sgn_Sign} returned.
     *
     * @param p the text, or null
     */
    void Sgn_Free(Pointer p);
}
