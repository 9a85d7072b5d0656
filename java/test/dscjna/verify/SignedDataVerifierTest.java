package dscjna.verify;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import dscjna.DscSigner;
import dscjna.Selection;
import dscjna.verify.SignedDataVerifier.Result;
import dscjna.verify.SignedDataVerifier.Verdict;
import java.io.ByteArrayInputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.util.Base64;
import java.util.List;
import java.util.stream.Stream;
import org.bouncycastle.jce.provider.BouncyCastleProvider;
import org.junit.jupiter.api.DynamicTest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestFactory;

/**
 * The verifier against the table dsc-sign verify passes too
 * (tests/verify-table/make-table: OpenSSL, BouncyCastle and the library's
 * signatures, altered copies, unsupported forms), and against signatures
 * made here through JNA on the soft tokens run-tests.sh provisions.
 */
class SignedDataVerifierTest {
    static final Path TABLE = Path.of(System.getProperty("dsc.test.verify-table"));
    static final SignedDataVerifier verifier = new SignedDataVerifier();

    // The table's status: 0 valid, 1 wrong, 2 unsupported or not verifiable as given.
    static Verdict expected(String status, String message) {
        switch (status) {
        case "0": return Verdict.VALID;
        case "1": return Verdict.INVALID;
        default: return message.startsWith("unsupported") ? Verdict.UNSUPPORTED : Verdict.NO_CONTENT;
        }
    }

    @TestFactory
    Stream<DynamicTest> everyCaseOfTheTable() throws Exception {
        return Files.readAllLines(TABLE.resolve("cases")).stream().map(line -> {
            String[] f = line.split("\t", -1);
            return DynamicTest.dynamicTest(f[1], () -> {
                byte[] content = f[3].equals("-") ? null : Files.readAllBytes(TABLE.resolve(f[3]));
                Result r = verifier.verify(Files.readAllBytes(TABLE.resolve(f[2])), content);
                assertEquals(expected(f[0], f[4]), r.verdict(), () -> f[1] + ": " + r.reason());
                if (r.isValid()) r.signers().forEach(s -> assertNotNull(s.certificate()));
            });
        });
    }

    static X509Certificate certificate(String name) throws Exception {
        return (X509Certificate) CertificateFactory.getInstance("X.509", new BouncyCastleProvider())
            .generateCertificate(new ByteArrayInputStream(Files.readAllBytes(TABLE.resolve(name))));
    }

    @Test
    void trustAnchorsDecide() throws Exception {
        byte[] p7 = Files.readAllBytes(TABLE.resolve("bc-sm2-attributes.p7"));
        X509Certificate sm2 = certificate("bc-sm2-cert.pem"), rsa = certificate("bc-rsa-cert.pem");
        assertEquals(Verdict.VALID, verifier.withTrustAnchors(List.of(sm2)).verify(p7, null).verdict());
        assertEquals(Verdict.INVALID, verifier.withTrustAnchors(List.of(rsa)).verify(p7, null).verdict());
    }

    @Test
    void signingTimeAndSignersAreReported() throws Exception {
        Result r = verifier.verify(Files.readAllBytes(TABLE.resolve("bc-two-signers.p7")), null);
        assertTrue(r.isValid(), r.reason());
        assertEquals(2, r.signers().size());
        assertNotNull(r.signers().get(0).signingTime());
        assertEquals("SM2 with SM3, signer identity 1234567812345678", r.signers().get(0).algorithm());
    }

    // The tokens of run-tests.sh: "java road SM2" (PIN 12345678) and the RSA
    // token with serial JRSA002 (PIN 24681357).
    @Test
    void whatTheLibrarySignsThroughJnaVerifies() throws Exception {
        DscSigner signer = new DscSigner();
        byte[] data = "signed through JNA, verified by a server\n".getBytes(StandardCharsets.US_ASCII);
        byte[] other = "another text".getBytes(StandardCharsets.US_ASCII);
        byte[] sm2 = signer.sign(Selection.byField("CN", "java road SM2"), data, "12345678".toCharArray());
        byte[] sm2Detached = signer.signDetached(Selection.byField("CN", "java road SM2"), data, "12345678".toCharArray());
        byte[] rsa = signer.sign(Selection.byKeySerial("JRSA002"), data, "24681357".toCharArray());
        for (byte[] p7 : List.of(sm2, rsa)) {
            Result r = verifier.verify(p7, null);
            assertTrue(r.isValid(), r.reason());
            assertTrue(r.attached());
            assertEquals(Verdict.INVALID, verifier.verify(p7, other).verdict());
            // The library's base64 text is accepted as it is.
            assertTrue(verifier.verify(Base64.getEncoder().encode(p7), null).isValid());
        }
        // The README's example, with the soft token's CA as the anchor.
        X509Certificate ca = (X509Certificate) CertificateFactory.getInstance("X.509", new BouncyCastleProvider())
            .generateCertificate(Files.newInputStream(Path.of(System.getProperty("dsc.test.tokens"), "sm2",
                "libsoftskf.so.ca", "sm2-ca.crt")));
        assertEquals("O=dsc java tests,CN=java road SM2",
            ReadmeVerifyExample.signerOf(sm2, ca).getSubjectX500Principal().getName());
        byte[] altered = sm2.clone();
        altered[altered.length - 5] ^= 1;
        assertThrows(SecurityException.class, () -> ReadmeVerifyExample.signerOf(altered, ca));
        assertThrows(SecurityException.class, () -> ReadmeVerifyExample.signerOf(rsa, ca));
        assertTrue(verifier.verify(sm2Detached, data).isValid());
        assertEquals(Verdict.INVALID, verifier.verify(sm2Detached, other).verdict());
        assertEquals(Verdict.NO_CONTENT, verifier.verify(sm2Detached, null).verdict());
        assertEquals(Verdict.INVALID, verifier.withSm2Id("ALICE".getBytes(StandardCharsets.US_ASCII))
            .verify(sm2, null).verdict());
    }
}
