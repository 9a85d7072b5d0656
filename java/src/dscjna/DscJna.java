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
 * {@link DscLibrary#charset()} (see {@link DscText}) and decode output areas
 * the same way. {@code Sgn_Sign} returns memory owned by the library: it must
 * go back through {@code Sgn_Free}, never {@code Native.free}.
 *
 * <p>Obtain it with {@link DscLibrary#get()}. Thread-safety: the library
 * serves one call at a time, but a selection and the next {@code Sgn_Sign}
 * belong together process-wide, so a caller of this interface holds
 * {@link DscLibrary#LOCK} across each select-and-sign pair; {@link DscSigner}
 * does that itself.
 */
public interface DscJna extends Library {

    int Sgn_Dev_Enum(byte[] separator, byte[] out, int outLen);

    int Sgn_Dev_GetSerialNumber(byte[] label, byte[] out, int outLen);

    int Sgn_Dev_GetUserData(byte[] label, byte[] out, int outLen);

    int Sgn_Dev_ChangePin_ex(byte[] label, Pointer oldPin, Pointer newPin);

    int Sgn_SelectCertByKeySn(byte[] deviceSn, byte[] outCert, int outLen);

    /** outCert must hold at least {@value DscSigner#CERT_AREA} bytes: the library is not told its size. */
    int Sgn_SelectCertByDn(byte[] field, byte[] value, byte[] outCert);

    /** The base64 SignedData or a negative code in decimal; release with Sgn_Free. */
    Pointer Sgn_Sign(byte[] data, int dataLen, int mode, Pointer pin);

    int Sgn_GetCertProperty(byte[] cert, byte[] field, byte[] out, int outLen);

    int Sgn_SetLog(byte[] path);

    int Sgn_CloseLog();

    void Sgn_Free(Pointer p);
}
