package dscjna;

import java.util.Objects;

/**
 * Which certificate to sign with. Where several certificates match, the
 * library shows its chooser and the user picks one (or cancels:
 * {@link DscException.Cancelled}).
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

    /** Certificates whose subject DN contains {@code dn}. */
    public static Selection byDn(String dn) {
        return new Selection(null, "DN", Objects.requireNonNull(dn, "dn"));
    }

    /** Certificates whose subject field (for example "CN") contains {@code value}. */
    public static Selection byField(String field, String value) {
        return new Selection(null, Objects.requireNonNull(field, "field"), Objects.requireNonNull(value, "value"));
    }

    /**
     * Several subject fields at once, as the library takes them: {@code fields}
     * "CN,O" and {@code values} "Alice,Org", each value contained in its field.
     */
    public static Selection byFields(String fields, String values) {
        return new Selection(null, Objects.requireNonNull(fields, "fields"), Objects.requireNonNull(values, "values"));
    }

    /** The signing certificate of the token with this serial number (RSA or SM2). */
    public static Selection byKeySerial(String tokenSerial) {
        return new Selection(Objects.requireNonNull(tokenSerial, "tokenSerial"), null, null);
    }

    /** Every certificate takes part. */
    public static Selection any() {
        return new Selection(null, null, null);
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

    @Override
    public String toString() {
        if (keySerial != null) return "token serial " + keySerial;
        return fields == null ? "any certificate" : fields + "=" + values;
    }
}
