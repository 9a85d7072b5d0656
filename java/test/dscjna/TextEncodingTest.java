package dscjna;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;

/** The library's code page as the binding chooses it, and proof that its bytes are what the library reads. */
class TextEncodingTest {

    @Test
    void theLibraryFindsAChineseValueOnlyInTheBindingsCharset() {
        // Raw calls with the same value in two charsets: the library finds it
        // in the charset the binding chose (under C that is UTF-8, where the
        // JVM's default charset is ASCII), and not in the other where that
        // cannot be read as text at all.
        DscJna lib = DscLibrary.get();
        Charset chosen = DscLibrary.text().charset();
        for (Charset cs : List.of(StandardCharsets.UTF_8, Charset.forName("GBK"))) {
            byte[] value = (Tokens.ZH_CN + "\0").getBytes(cs);
            int rc;
            try (DscLibrary.Hold hold = DscLibrary.lock(Duration.ofSeconds(30))) {
                rc = lib.Sgn_SelectCertByDn("CN\0".getBytes(StandardCharsets.US_ASCII), value, new byte[DscSigner.CERT_AREA]);
            }
            if (cs.equals(chosen)) assertTrue(rc >= 0, cs + " is the binding's charset, yet " + DscException.describe(rc));
            else if (chosen.equals(StandardCharsets.UTF_8))  // GBK bytes are no UTF-8 text
                assertEquals(ResultCode.DSC_ACX_ERR_NO_CERT.code, rc, cs + " bytes were read as " + chosen);
        }
    }

    @Test
    void charsetFollowsTheLibrarysRule() {
        record Case(String expected, boolean windows, Map<String, String> properties, Map<String, String> env) {}
        List<Case> cases = List.of(
                new Case("GB18030", false, Map.of(DscText.PROPERTY, "GB18030"), Map.of("LANG", "C.UTF-8")),
                new Case("GBK", true, Map.of("native.encoding", "GBK", "file.encoding", "UTF-8"), Map.of()),
                new Case("windows-1252", true, Map.of("sun.jnu.encoding", "Cp1252"), Map.of()),  // before Java 17
                new Case("GBK", false, Map.of("native.encoding", "GBK"), Map.of("LANG", "zh_CN.GBK")),
                new Case("UTF-8", false, Map.of(), Map.of("LC_ALL", "en_US.utf8", "LANG", "zh_CN.GBK")),
                new Case("GBK", false, Map.of(), Map.of("LC_CTYPE", "zh_CN.gbk@latin", "LANG", "C")),
                new Case("UTF-8", false, Map.of("native.encoding", "ANSI_X3.4-1968"), Map.of("LANG", "C")),
                new Case("GB2312", false, Map.of("native.encoding", "GB2312"), Map.of("LANG", "zh_CN")),
                new Case("UTF-8", false, Map.of("native.encoding", "ANSI_X3.4-1968"), Map.of("LANG", "xx_YY")),
                new Case("UTF-8", false, Map.of(), Map.of()),
                // Spelled as `locale -a` lists them: the C library's converter reads any spelling, so must the binding.
                new Case("KOI8-R", false, Map.of(), Map.of("LANG", "ru_RU.koi8r")),
                new Case("ISO-8859-15", false, Map.of(), Map.of("LC_ALL", "de_DE.iso885915@euro")),
                new Case("EUC-JP", false, Map.of(), Map.of("LANG", "ja_JP.eucjp")),
                new Case("Big5", false, Map.of(), Map.of("LANG", "zh_TW.big5")),
                new Case("GB18030", false, Map.of(), Map.of("LANG", "zh_CN.gb18030")),
                new Case("ISO-8859-1", false, Map.of(), Map.of("LANG", "en_US.ISO8859_1")));
        for (Case c : cases) {
            Charset cs = DscText.choose(c.properties::get, c.env::get, c.windows);
            assertEquals(Charset.forName(c.expected), cs, c.toString());
        }
        IllegalStateException unknown = assertThrows(IllegalStateException.class,
                () -> DscText.choose(Map.<String, String>of()::get, Map.of("LANG", "xx.NO-SUCH-CODESET")::get, false));
        assertTrue(unknown.getMessage().contains(DscText.PROPERTY), unknown.getMessage());
    }

    @Test
    void aPinIsEncodedInTheLibrarysCharsetAndNulTerminated() {
        DscText gbk = new DscText(Charset.forName("GBK"));
        byte[] pin = gbk.encodeSecret("12密".toCharArray(), "the PIN");
        assertEquals(List.of((byte) '1', (byte) '2', (byte) 0xC3, (byte) 0xDC, (byte) 0),
                List.of(pin[0], pin[1], pin[2], pin[3], pin[4]));
        assertThrows(IllegalArgumentException.class, () -> gbk.encodeSecret("\uD83D\uDD12".toCharArray(), "the PIN"));
        assertThrows(IllegalArgumentException.class, () -> gbk.encodeSecret("12\0".toCharArray(), "the PIN"));
    }
}
