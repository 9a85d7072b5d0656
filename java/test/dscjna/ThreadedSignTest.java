package dscjna;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import org.junit.jupiter.api.Test;

/**
 * Four threads, each with its own signer, select and sign at the same time on
 * two tokens with different PINs and key types. Every signature must verify
 * with the certificate its thread asked for: a selection from another thread
 * between select and sign would show as a wrong signer or a PIN sent to the
 * wrong token.
 */
class ThreadedSignTest {
    static final int THREADS = 4;
    static final int CALLS = 50;

    record Signed(String key, String vendor, byte[] data, byte[] p7) {}

    @Test
    void everySignatureIsMadeWithTheCertificateItsThreadAsked() throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(THREADS);
        List<Future<List<Signed>>> results = new ArrayList<>();
        for (int t = 0; t < THREADS; t++) {
            boolean sm2 = t % 2 == 0;
            int thread = t;
            results.add(pool.submit(() -> {
                DscSigner signer = new DscSigner();
                List<Signed> made = new ArrayList<>();
                for (int i = 0; i < CALLS; i++) {
                    byte[] data = ("thread " + thread + " call " + i).getBytes(StandardCharsets.US_ASCII);
                    if (sm2) {
                        made.add(new Signed("sm2", "sm2", data,
                                signer.sign(Selection.byField("CN", Tokens.SM2_CN), data, Tokens.SM2_PIN.clone())));
                    } else {
                        made.add(new Signed("rsa", "rsa", data,
                                signer.signDetached(Selection.byKeySerial(Tokens.RSA_SERIAL), data, Tokens.RSA_PIN.clone())));
                    }
                }
                return made;
            }));
        }
        pool.shutdown();
        List<Signed> all = new ArrayList<>();
        for (Future<List<Signed>> r : results) all.addAll(r.get());  // a DscException (a PIN error too) fails here
        assertEquals(THREADS * CALLS, all.size());
        for (Signed s : all)
            assertTrue(Tokens.verified(s.key, s.p7, s.data, s.vendor), new String(s.data, StandardCharsets.US_ASCII));
    }
}
