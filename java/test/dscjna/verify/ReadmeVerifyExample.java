package dscjna.verify;

import java.security.cert.X509Certificate;
import java.util.List;

/** The README's server-side example, line for line; run-tests.sh compares the two. */
final class ReadmeVerifyExample {
    private ReadmeVerifyExample() {}

    static X509Certificate signerOf(byte[] signature, X509Certificate clientCa) {
        // README verify example begins
        // On the server: the SignedData a client made, and the CA of its certificates.
        SignedDataVerifier.Result result = new SignedDataVerifier()
                .withTrustAnchors(List.of(clientCa))
                .verify(signature, null);                      // or the content of a detached one
        if (!result.isValid()) {
            throw new SecurityException(result.reason());      // "bad signature: ...", "unsupported: ..."
        }
        return result.signers().get(0).certificate();          // who signed
        // README verify example ends
    }
}
