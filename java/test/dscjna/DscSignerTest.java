package dscjna;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.nio.charset.StandardCharsets;
import java.util.Base64;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The whole road through JNA against the Linux library and the soft tokens
 * run-tests.sh provisions: SM2 "JAVA-SM2" (CN "java road SM2"), RSA
 * "JAVA-RSA" (serial JRSA002, its own PIN) and SM2 with Chinese label and CN,
 * without user data; the chooser always cancels.
 */
class DscSignerTest {
    static final DscSigner signer = new DscSigner();

    @Test
    void sm2AttachedAndDetachedVerifyWithOpenSsl() throws Exception {
        byte[] data = "SM2 road through JNA\n".getBytes(StandardCharsets.US_ASCII);
        Selection sm2 = Selection.byField("CN", Tokens.SM2_CN);
        byte[] attached = signer.sign(sm2, data, Tokens.SM2_PIN);
        byte[] detached = signer.signDetached(sm2, data, Tokens.SM2_PIN);
        for (byte[] p7 : List.of(attached, detached)) {
            assertTrue(Tokens.verified("sm2", p7, data, "sm2"));
            assertTrue(Tokens.refused("sm2", p7, "another text".getBytes(StandardCharsets.US_ASCII), "sm2"));
        }
    }

    @Test
    void rsaSelectedByTokenSerialSignsBinaryData() throws Exception {
        byte[] data = new byte[3000];
        for (int i = 0; i < data.length; i++) data[i] = (byte) (i * 7);  // NULs included
        assertTrue(Tokens.verified("rsa", signer.sign(Selection.byKeySerial(Tokens.RSA_SERIAL), data, Tokens.RSA_PIN),
                data, "rsa"));
    }

    @Test
    void chineseSubjectSelectsSignsAndReadsBack() throws Exception {
        assumeTrue(DscLibrary.text().charset().newEncoder().canEncode(Tokens.ZH_CN), "the locale's code set has no Chinese");
        byte[] data = "中文数据".getBytes(StandardCharsets.UTF_8);
        assertTrue(Tokens.verified("sm2", signer.sign(Selection.byField("CN", Tokens.ZH_CN), data, Tokens.SM2_PIN),
                data, "zh"));
        try (SelectedCertificate selected = signer.select(Selection.byField("CN", Tokens.ZH_CN))) {
            assertArrayEquals(Tokens.cert("zh"), Base64.getDecoder().decode(selected.certificate()));
            assertEquals(Tokens.ZH_CN, signer.certProperty(selected.certificate(), "CN"));
        }
    }

    @Test
    void wrongPinIsItsOwnKindAndTheNextAtomicSignSucceeds() throws Exception {
        byte[] data = {1, 2, 3};
        Selection sm2 = Selection.byField("CN", Tokens.SM2_CN);
        DscException.WrongPin wrong = assertThrows(DscException.WrongPin.class,
                () -> signer.sign(sm2, data, "00000000".toCharArray()));
        assertEquals(-1040, wrong.code());
        assertEquals("Sgn_Sign", wrong.operation());
        // Each call selects afresh, so the selection the wrong PIN used up does not matter.
        assertTrue(Tokens.verified("sm2", signer.sign(sm2, data, Tokens.SM2_PIN), data, "sm2"));
    }

    @Test
    void failuresCarryCodeNameAndMeaningAndTheirKind() {
        record Case(Selection selection, Class<? extends DscException> kind, ResultCode result) {}
        List<Case> cases = List.of(
                new Case(Selection.byField("CN", "nobody here"), DscException.NotFound.class, ResultCode.DSC_ACX_ERR_NO_CERT),
                // Two SM2 certificates carry O "dsc java"; the test chooser cancels.
                new Case(Selection.byField("O", "dsc java"), DscException.Cancelled.class, ResultCode.DSC_ACX_ERR_CANCELLED),
                new Case(Selection.byFields("CN,O", "nobody"), DscException.class, ResultCode.DSC_ACX_ERR_FIELD_COUNT));
        for (Case c : cases) {
            DscException e = assertThrows(DscException.class, () -> signer.sign(c.selection, new byte[] {1}, Tokens.SM2_PIN));
            assertEquals(c.kind, e.getClass(), c.selection.toString());
            assertEquals(c.result, e.result());
            assertEquals(c.result.code, e.code());
            assertTrue(e.getMessage().contains(c.result.name()) && e.getMessage().contains(c.result.meaning), e.getMessage());
        }
        assertNull(ResultCode.of(-12345));
        assertTrue(new DscException("Sgn_Sign", -12345).getMessage().contains("-12345"));
    }

    @Test
    void devicesAreAListWhoseLabelsFindTheirTokensAgain() throws Exception {
        List<String> labels = signer.devices();
        assertEquals(3, labels.size(), labels.toString());
        assertTrue(labels.containsAll(List.of("JAVA-SM2", "JAVA-RSA")), labels.toString());
        List<String> serials = new java.util.ArrayList<>();
        for (String label : labels) serials.add(signer.serialNumber(label));
        assertEquals(List.of("JRSA002", "JSM2001", "JZH003"), serials.stream().sorted().toList());
        String zhLabel = labels.get(serials.indexOf(Tokens.ZH_SERIAL));
        if (DscLibrary.text().charset().equals(StandardCharsets.UTF_8)) assertEquals("签名钥匙", zhLabel);
        assertEquals("java user data", signer.userData("JAVA-SM2"));
        assertEquals("", signer.userData(zhLabel), "a token without user data");
        for (Executable noLabel : List.<Executable>of(() -> signer.userData(null), () -> signer.serialNumber(null))) {
            DscException several = assertThrows(DscException.class, noLabel);
            assertEquals(ResultCode.DSC_ACX_ERR_AMBIGUOUS_DEVICE, several.result());
        }
    }

    @Test
    void changedPinSignsAndTheOldOneNoLonger() throws Exception {
        char[] changed = "87654321".toCharArray();
        signer.changePin("JAVA-RSA", Tokens.RSA_PIN.clone(), changed.clone());
        try {
            byte[] data = {42};
            Selection rsa = Selection.byKeySerial(Tokens.RSA_SERIAL);
            assertTrue(Tokens.verified("rsa", signer.signDetached(rsa, data, changed), data, "rsa"));
            assertThrows(DscException.WrongPin.class, () -> signer.signDetached(rsa, data, Tokens.RSA_PIN));
        } finally {
            signer.changePin("JAVA-RSA", changed, Tokens.RSA_PIN.clone());
        }
        DscException e = assertThrows(DscException.WrongPin.class,
                () -> signer.changePin("JAVA-RSA", "11112222".toCharArray(), "33334444".toCharArray()));
        assertEquals(ResultCode.DSC_ACX_ERR_CHANGE_PIN, e.result());
    }

    @Test
    void textsTheCodePageCannotCarryAreRefusedBeforeTheLibrary() {
        assertThrows(IllegalArgumentException.class, () -> signer.sign(Selection.any(), new byte[0], Tokens.SM2_PIN));
        assertThrows(IllegalArgumentException.class,
                () -> signer.sign(Selection.byField("CN", "java\0road"), new byte[] {1}, Tokens.SM2_PIN));
        // U+1F512 is in no double-byte code page; sent as "?" it would be another text.
        if (!DscLibrary.text().charset().equals(StandardCharsets.UTF_8))
            assertThrows(IllegalArgumentException.class,
                    () -> signer.sign(Selection.byField("CN", "\uD83D\uDD12"), new byte[] {1}, Tokens.SM2_PIN));
    }

    @Test
    void aHeldSelectionSignsOnItsThreadOnlyAndOnce() throws Exception {
        byte[] data = {7};
        SelectedCertificate selected = signer.select(Selection.byKeySerial(Tokens.RSA_SERIAL));
        CompletableFuture<Object> elsewhere = CompletableFuture.supplyAsync(() -> {
            try {
                return selected.sign(data, Tokens.RSA_PIN);
            } catch (Exception e) {
                return e;
            }
        });
        assertInstanceOf(IllegalStateException.class, elsewhere.get(10, TimeUnit.SECONDS));
        assertTrue(Tokens.verified("rsa", selected.sign(data, Tokens.RSA_PIN), data, "rsa"));
        assertThrows(IllegalStateException.class, () -> selected.sign(data, Tokens.RSA_PIN), "used up");
        selected.close();  // already released: nothing to do
        assertFalse(LibraryLock.isHeld());
    }

    @Test
    void aHeldSelectionKeepsOtherThreadsOutUntilClosed() throws Exception {
        CompletableFuture<List<String>> other;
        try (SelectedCertificate selected = signer.select(Selection.byKeySerial(Tokens.RSA_SERIAL))) {
            other = CompletableFuture.supplyAsync(() -> {
                try {
                    return signer.devices();
                } catch (DscException e) {
                    throw new RuntimeException(e);
                }
            });
            Thread.sleep(300);
            assertFalse(other.isDone(), "another thread got in while a selection was held");
        }
        assertEquals(3, other.get(10, TimeUnit.SECONDS).size());
    }

    @Test
    void aLaterSelectionOnTheSameThreadReplacesAHeldOne() throws Exception {
        byte[] data = {9};
        try (SelectedCertificate first = signer.select(Selection.byKeySerial(Tokens.RSA_SERIAL))) {
            // Re-entrant on this thread, and the library now holds the SM2 selection.
            assertTrue(Tokens.verified("sm2",
                    signer.sign(Selection.byField("CN", Tokens.SM2_CN), data, Tokens.SM2_PIN), data, "sm2"));
            assertThrows(IllegalStateException.class, () -> first.sign(data, Tokens.RSA_PIN));
        }
        assertFalse(LibraryLock.isHeld());
    }

    @Test
    void theReadmeExampleSigns() throws Exception {
        byte[] data = "README".getBytes(StandardCharsets.US_ASCII);
        char[] pin = Tokens.SM2_PIN.clone();
        assertTrue(Tokens.verified("sm2", ReadmeExample.signAsTheReadmeShows(Tokens.SM2_CN, data, pin), data, "sm2"));
        assertArrayEquals(new char[pin.length], pin, "the example clears the caller's PIN");
    }
}
