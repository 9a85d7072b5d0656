package dscjna;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Base64;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The whole road through JNA against the Linux library and soft tokens that
 * run-tests.sh provisions: three vendors (SM2 "JAVA-SM2", RSA "JAVA-RSA", SM2
 * with a Chinese CN "JAVA-ZH"), a chooser that always cancels. Signatures are
 * judged by OpenSSL through the verifier scripts, never by this code.
 */
class DscSignerTest {
    static final String PIN = "12345678";
    static Path tokens;
    static Path verifiers;
    static DscSigner signer;

    @BeforeAll
    static void setUp() {
        tokens = Path.of(System.getProperty("dsc.test.tokens"));
        verifiers = Path.of(System.getProperty("dsc.test.verifiers"));
        signer = new DscSigner();
    }

    static byte[] tokenCert(String vendor) throws IOException {
        String pem = Files.readString(tokens.resolve(vendor).resolve("signer.pem"));
        String body = pem.replaceAll("-----[A-Z ]+-----", "").replaceAll("\\s", "");
        return Base64.getDecoder().decode(body);
    }

    /** Runs the OpenSSL verifier for this key type; true when it accepts. */
    static boolean verified(String key, byte[] p7, byte[] data, String vendor) throws Exception {
        return verify(key, p7, data, vendor, ProcessBuilder.Redirect.INHERIT);
    }

    /** The same where a refusal is expected, without its message in the output. */
    static boolean refused(String key, byte[] p7, byte[] data, String vendor) throws Exception {
        return !verify(key, p7, data, vendor, ProcessBuilder.Redirect.DISCARD);
    }

    static boolean verify(String key, byte[] p7, byte[] data, String vendor, ProcessBuilder.Redirect messages)
            throws Exception {
        Path dir = Files.createTempDirectory("dsc-java-verify");
        Path p7File = Files.write(dir.resolve("sig.p7"), p7);
        Path dataFile = Files.write(dir.resolve("data"), data);
        Process p = new ProcessBuilder(verifiers.resolve("verify-" + key + ".sh").toString(), p7File.toString(),
                dataFile.toString(), tokens.resolve(vendor).resolve("signer.pem").toString())
                .redirectOutput(messages).redirectError(messages).start();
        return p.waitFor() == 0;
    }

    @Test
    void sm2AttachedAndDetachedVerifyWithOpenSsl() throws Exception {
        byte[] data = "SM2 road through JNA\n".getBytes(StandardCharsets.US_ASCII);
        for (boolean detached : new boolean[] {false, true}) {
            String cert = signer.selectByFields("CN", "java road SM2");
            assertArrayEquals(tokenCert("sm2"), Base64.getDecoder().decode(cert));
            byte[] p7 = signer.sign(data, detached, PIN);
            assertTrue(verified("sm2", p7, data, "sm2"), "detached=" + detached);
            byte[] other = "another text".getBytes(StandardCharsets.US_ASCII);
            assertTrue(refused("sm2", p7, other, "sm2"), "the verifier must refuse other data");
        }
    }

    @Test
    void rsaSelectedByTokenSerialVerifiesWithOpenSsl() throws Exception {
        byte[] data = new byte[3000];
        for (int i = 0; i < data.length; i++) data[i] = (byte) (i * 7);  // binary, NULs included
        for (boolean detached : new boolean[] {false, true}) {
            String cert = signer.selectByKeySn("JRSA002");
            assertEquals("java road RSA", signer.certProperty(cert, "CN"));
            assertTrue(verified("rsa", signer.sign(data, detached, PIN), data, "rsa"), "detached=" + detached);
        }
    }

    @Test
    void nonAsciiSubjectSelectedThroughTheInterfaceEncoding() throws Exception {
        String cert = signer.selectByFields("CN", "签名测试");
        assertArrayEquals(tokenCert("zh"), Base64.getDecoder().decode(cert));
        assertEquals("签名测试", signer.certProperty(cert, "CN"));
        byte[] data = "中文数据".getBytes(StandardCharsets.UTF_8);
        assertTrue(verified("sm2", signer.sign(data, false, PIN), data, "zh"));
    }

    @Test
    void wrongPinIsRefusedAndUsesUpTheSelection() throws Exception {
        signer.selectByKeySn("JSM2001");
        DscException wrong = assertThrows(DscException.class, () -> signer.sign(new byte[] {1}, false, "00000000"));
        assertEquals(-1040, wrong.code());
        DscException none = assertThrows(DscException.class, () -> signer.sign(new byte[] {1}, false, PIN));
        assertEquals(-3011, none.code());
    }

    @Test
    void failuresCarryTheNameAndMeaningOfTheLibrarysList() {
        DscException e = assertThrows(DscException.class, () -> signer.selectByFields("CN,O", "nobody"));
        assertEquals(-3004, e.code());
        assertEquals(ResultCode.DSC_ACX_ERR_FIELD_COUNT, e.result());
        assertEquals("the numbers of field names and values differ", e.result().meaning);
        assertNull(ResultCode.of(-12345));
    }

    @Test
    void noMatchingCertificate() {
        DscException e = assertThrows(DscException.class, () -> signer.selectByFields("CN", "nobody here"));
        assertEquals(-3011, e.code());
    }

    @Test
    void cancelledChoiceAmongSeveral() {
        // Two SM2 certificates match "java"; the test chooser cancels.
        DscException e = assertThrows(DscException.class, () -> signer.selectByFields("O", "dsc java"));
        assertEquals(-1005, e.code());
    }

    @Test
    void devicesAndTheirTexts() throws Exception {
        String labels = signer.devices(";");
        assertEquals(3, labels.split(";").length, labels);
        assertTrue(labels.contains("JAVA-SM2") && labels.contains("JAVA-RSA") && labels.contains("JAVA-ZH"), labels);
        assertEquals("JRSA002", signer.serialNumber("JAVA-RSA"));
        assertEquals("java user data", signer.userData("JAVA-SM2"));
        DscException several = assertThrows(DscException.class, () -> signer.userData(null));
        assertEquals(-3057, several.code());
    }

    @Test
    void changedPinSignsAndTheOldOneNoLonger() throws Exception {
        signer.changePin("JAVA-RSA", PIN, "87654321");
        try {
            byte[] data = {42};
            signer.selectByKeySn("JRSA002");
            assertTrue(verified("rsa", signer.sign(data, true, "87654321"), data, "rsa"));
            signer.selectByKeySn("JRSA002");
            assertEquals(-1040, assertThrows(DscException.class, () -> signer.sign(data, true, PIN)).code());
        } finally {
            signer.changePin("JAVA-RSA", "87654321", PIN);
        }
        assertEquals(-3061, assertThrows(DscException.class, () -> signer.changePin("JAVA-RSA", "11112222", "33334444")).code());
    }

    @Test
    void emptyDataIsRefusedBeforeTheLibrary() {
        assertThrows(IllegalArgumentException.class, () -> signer.sign(new byte[0], false, PIN));
    }
}
