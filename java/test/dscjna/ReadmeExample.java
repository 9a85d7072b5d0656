package dscjna;

import java.util.Arrays;

/** The README's Java example, verbatim between the markers; run-tests.sh checks the two are the same. */
final class ReadmeExample {
    private ReadmeExample() {}

    static byte[] signAsTheReadmeShows(String subjectCn, byte[] data, char[] pin) throws DscException {
        // README example begins
        DscSigner signer = new DscSigner();            // share it freely between threads
        try {
            // One call selects and signs under one lock: no other selection comes between.
            return signer.sign(Selection.byField("CN", subjectCn), data, pin);  // DER PKCS#7
        } finally {
            Arrays.fill(pin, '\0');                    // the binding zeroes its own copies
        }
        // README example ends
    }
}
