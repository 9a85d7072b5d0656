package dscjna;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Platform;
import com.sun.jna.Pointer;
import java.util.Map;

/**
 * The eleven exports of dsc_jna_v3, bound by JNA with their exact C types.
 *
 * <p>Texts cross the interface as NUL-terminated bytes in the system's ANSI
 * code page (on Linux: the codeset of the process locale), never in UTF-16,
 * so the binding is loaded with that encoding as JNA's string encoding
 * ({@link #ENCODING}). Output areas are {@code byte[]} decoded with the same
 * encoding. {@code Sgn_Sign} returns memory owned by the library: it must go
 * back through {@code Sgn_Free}, never {@code Native.free}.
 *
 * <p>On Windows the library is a 32-bit DLL: it needs a 32-bit JVM, with
 * {@code dsc_jna_v3.dll} on {@code jna.library.path} (or the DLL search path).
 */
public interface DscJna extends Library {

    /**
     * The text encoding of the interface: the system property
     * {@code dsc.jna.encoding} when set, otherwise the platform's native
     * encoding ({@code native.encoding}: the ANSI code page on Windows).
     */
    String ENCODING = Encoding.choose();

    DscJna INSTANCE = Native.load("dsc_jna_v3", DscJna.class,
            Map.of(Library.OPTION_STRING_ENCODING, ENCODING));

    int Sgn_Dev_Enum(String separator, byte[] out, int outLen);

    int Sgn_Dev_GetSerialNumber(String label, byte[] out, int outLen);

    int Sgn_Dev_GetUserData(String label, byte[] out, int outLen);

    int Sgn_Dev_ChangePin_ex(String label, String oldPin, String newPin);

    int Sgn_SelectCertByKeySn(String deviceSn, byte[] outCert, int outLen);

    /** outCert must hold at least 4096 bytes: the library is not told its size. */
    int Sgn_SelectCertByDn(String field, String value, byte[] outCert);

    /** The base64 SignedData or a negative code in decimal; release with Sgn_Free. */
    Pointer Sgn_Sign(byte[] data, int dataLen, int mode, String pin);

    int Sgn_GetCertProperty(String cert, String field, byte[] out, int outLen);

    int Sgn_SetLog(String path);

    int Sgn_CloseLog();

    void Sgn_Free(Pointer p);

    /** How the interface encoding is chosen; kept apart so INSTANCE can use it. */
    final class Encoding {
        private Encoding() {}

        static String choose() {
            String chosen = System.getProperty("dsc.jna.encoding");
            if (chosen != null && !chosen.isEmpty()) return chosen;
            String nativeEncoding = System.getProperty("native.encoding");
            if (nativeEncoding == null) nativeEncoding = System.getProperty("sun.jnu.encoding");
            if (nativeEncoding == null) return "UTF-8";
            // The Linux library reads texts as UTF-8 when no locale is set,
            // where Java reports plain ASCII; UTF-8 is the superset of both.
            if (!Platform.isWindows() && nativeEncoding.equals("ANSI_X3.4-1968")) return "UTF-8";
            return nativeEncoding;
        }
    }
}
