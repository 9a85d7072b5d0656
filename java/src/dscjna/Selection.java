package dscjna;

import java.util.Objects;

/**
 * Which certificate to sign with. Where several certificates match, the
 * library shows its chooser and the user picks one (or cancels:
 * {@link DscException.Cancelled}).
 *
 * <p>Which certificates each selection can reach: {@link #byDn},
 * {@link #byField}, {@link #byFields} and {@link #any} search the SM2 signing
 * certificates of every registered token and of the system stores only (the
 * library is built to prefer SM2 and leaves RSA certificates out of these
 * searches); {@link #byKeySerial} reaches the signing certificate of one token,
 * of any algorithm (SM2 or RSA).
 *
 * <p>Immutable; safe to share between threads.
 */
public final class Selection {
    private final String keySerial;  // set for a selection by token serial number
    private final String fields;
    private final String values;

    private Selection(String keySerial, String fields, String values) {
        this.keySerial = keySerial;
        this.fields = fields;
        this.values = values;
    }

    /**
     * The SM2 certificates whose whole subject DN is {@code dn}: every part
     * ({@code KEY=value}, separated by commas) must be there and no other,
     * in any order; blanks after a comma do not count. The parts are
     * compared as written, so write the DN as {@link DscSigner#certProperty}
     * gives it for "DN": attribute names in capitals ({@code "CN=Alice, O=Acme"};
     * {@code "cn=Alice"} never matches), values exactly (case-sensitive), and
     * not a part of the DN alone ({@code "CN=Alice"} does not find
     * {@code "CN=Alice, O=Acme"}; {@link #byField} searches by part).
     *
     * @param dn the whole subject DN, not empty
     * @return the selection
     */
    public static Selection byDn(String dn) {
        return new Selection(null, "DN", nonEmpty(dn, "dn"));
    }

    /**
     * The SM2 certificates with a subject field (for example "CN" or "O",
     * case-insensitive, at most 7 characters) one of whose values contains
     * {@code value} (case-sensitive): {@code byField("CN", "Li")} finds both
     * "Li Lei" and "Wang Li".
     *
     * @param field the field name, not empty
     * @param value the text to look for, not empty and without a comma (the library splits at commas)
     * @return the selection
     */
    public static Selection byField(String field, String value) {
        return new Selection(null, nonEmpty(field, "field"), nonEmpty(value, "value"));
    }

    /**
     * Several subject fields at once, as the library takes them: {@code fields}
     * "CN,O" and {@code values} "Alice,Org" find the SM2 certificates whose CN
     * contains Alice and whose O contains Org. Different numbers of fields and
     * values give the library's -3004.
     *
     * @param fields the field names, separated by commas
     * @param values the values, separated by commas, one per field
     * @return the selection
     */
    public static Selection byFields(String fields, String values) {
        return new Selection(null, nonEmpty(fields, "fields"), nonEmpty(values, "values"));
    }

    /**
     * The signing certificate of the token with this serial number, whatever
     * its algorithm (RSA or SM2): the only selection that reaches an RSA
     * certificate.
     *
     * @param tokenSerial the token's serial number, as {@link DscSigner#serialNumber} gives it
     * @return the selection
     */
    public static Selection byKeySerial(String tokenSerial) {
        return new Selection(nonEmpty(tokenSerial, "tokenSerial"), null, null);
    }

    /**
     * Every SM2 signing certificate of every token and store takes part (RSA
     * certificates do not): one is selected at once, several go to the
     * chooser; more than 24 give the library's -4049.
     *
     * @return the selection
     */
    public static Selection any() {
        return new Selection(null, null, null);
    }

    // An empty text would make the library take every certificate: refused so it is never a silent any().
    private static String nonEmpty(String text, String what) {
        if (Objects.requireNonNull(text, what).isEmpty()) throw new IllegalArgumentException(what + " is empty");
        return text;
    }

    /** Makes this the library's selection; returns the certificate as base64. Call with the lock held. */
    String apply(DscJna lib, DscText text) throws DscException {
        byte[] cert = new byte[DscSigner.CERT_AREA];
        if (keySerial != null) {
            DscSigner.check("Sgn_SelectCertByKeySn",
                    lib.Sgn_SelectCertByKeySn(text.encode(keySerial, "the token serial number"), cert, cert.length));
        } else {
            DscSigner.check("Sgn_SelectCertByDn", lib.Sgn_SelectCertByDn(text.encode(fields, "the field names"),
                    text.encode(values, "the field values"), cert));
        }
        return text.decode(cert);
    }

    /**
     * What is selected, for messages.
     *
     * @return for example "CN=Alice" or "token serial 0123"
     */
    @Override
    public String toString() {
        if (keySerial != null) return "token serial " + keySerial;
        return fields == null ? "any certificate" : fields + "=" + values;
    }
}
