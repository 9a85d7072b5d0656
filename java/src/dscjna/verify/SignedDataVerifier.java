package dscjna.verify;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.security.GeneralSecurityException;
import java.security.MessageDigest;
import java.security.Provider;
import java.security.PublicKey;
import java.security.Signature;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Base64;
import java.util.Collection;
import java.util.Date;
import java.util.List;
import java.util.Map;

import org.bouncycastle.asn1.ASN1Encodable;
import org.bouncycastle.asn1.ASN1ObjectIdentifier;
import org.bouncycastle.asn1.ASN1OctetString;
import org.bouncycastle.asn1.ASN1Primitive;
import org.bouncycastle.asn1.cms.Attribute;
import org.bouncycastle.asn1.cms.AttributeTable;
import org.bouncycastle.asn1.cms.CMSAttributes;
import org.bouncycastle.asn1.cms.ContentInfo;
import org.bouncycastle.asn1.cms.Time;
import org.bouncycastle.cert.X509CertificateHolder;
import org.bouncycastle.cert.jcajce.JcaX509CertificateConverter;
import org.bouncycastle.cms.CMSProcessableByteArray;
import org.bouncycastle.cms.CMSSignedData;
import org.bouncycastle.cms.CMSTypedData;
import org.bouncycastle.cms.SignerInformation;
import org.bouncycastle.jcajce.spec.SM2ParameterSpec;
import org.bouncycastle.jce.provider.BouncyCastleProvider;

/**
 * Verifies a CMS / PKCS#7 SignedData as a server receives it from this
 * library's clients or from other signers: every signer, RSA PKCS#1 v1.5
 * (SHA-1, SHA-224, SHA-256, SHA-384, SHA-512) or SM2 with SM3 over Z || data,
 * with or without signed attributes, the signer named by issuer and serial
 * number or by subject key identifier, the PKCS#7 and the GM/T 0010 content
 * types. It needs BouncyCastle ({@code bcprov}, {@code bcpkix},
 * {@code bcutil}) on the class path and not the native library.
 *
 * <p>BouncyCastle's own {@code SignerInformation.verify} does not know the
 * SM2 signature identifier 1.2.156.10197.1.301.1 that this library writes,
 * so the signature is checked here with {@code SM3withSM2} and the signer
 * identity as a parameter (default {@code 1234567812345678}).
 *
 * <p>An instance is immutable and may be shared between threads.
 */
public final class SignedDataVerifier {
    /** The default SM2 signer identity, which the library signs with. */
    public static final String DEFAULT_SM2_ID = "1234567812345678";

    private static final Provider BC = new BouncyCastleProvider();
    private static final String SIGNED_DATA = "1.2.840.113549.1.7.2";
    private static final String GM_SIGNED_DATA = "1.2.156.10197.6.1.4.2.2";
    private static final String DATA = "1.2.840.113549.1.7.1";
    private static final String GM_DATA = "1.2.156.10197.6.1.4.2.1";
    private static final String RSA_PSS = "1.2.840.113549.1.1.10";
    private static final Map<String, String> DIGESTS = Map.of(
        "1.3.14.3.2.26", "SHA-1",
        "2.16.840.1.101.3.4.2.4", "SHA-224",
        "2.16.840.1.101.3.4.2.1", "SHA-256",
        "2.16.840.1.101.3.4.2.2", "SHA-384",
        "2.16.840.1.101.3.4.2.3", "SHA-512",
        "1.2.156.10197.1.401", "SM3");
    // RSA PKCS#1 v1.5: rsaEncryption leaves the digest to the digest
    // algorithm; the others name theirs.
    private static final Map<String, String> RSA_SIGNATURES = Map.of(
        "1.2.840.113549.1.1.1", "",
        "1.2.840.113549.1.1.5", "1.3.14.3.2.26",
        "1.2.840.113549.1.1.14", "2.16.840.1.101.3.4.2.4",
        "1.2.840.113549.1.1.11", "2.16.840.1.101.3.4.2.1",
        "1.2.840.113549.1.1.12", "2.16.840.1.101.3.4.2.2",
        "1.2.840.113549.1.1.13", "2.16.840.1.101.3.4.2.3");
    // SM2 as writers name it: the signature OID, the key OID, SM3 with SM2,
    // or the EC key OID.
    private static final List<String> SM2_SIGNATURES = List.of(
        "1.2.156.10197.1.301.1", "1.2.156.10197.1.301", "1.2.156.10197.1.501", "1.2.840.10045.2.1");
    private static final int MAX_CHAIN = 8;

    /** The verdict of a signer, or of the whole SignedData. */
    public enum Verdict {
        /** The signature fits the content and the signer's key (and, with anchors, the chain). */
        VALID,
        /** A signature, digest, content or chain is wrong, or the input is malformed. */
        INVALID,
        /** A form or algorithm this verifier does not handle; the reason names it. */
        UNSUPPORTED,
        /** Detached (or empty and not signed over empty content), and no content was given. */
        NO_CONTENT
    }

    /** What was found about one signer. */
    public record SignerResult(Verdict verdict, String reason, String algorithm, X509Certificate certificate,
                               Date signingTime) {
        /**
         * Whether this signer's signature is valid.
         * @return true when the verdict is {@link Verdict#VALID}
         */
        public boolean isValid() { return verdict == Verdict.VALID; }
    }

    /**
     * The verdict of the SignedData: {@link Verdict#VALID} only when every
     * signer is valid; otherwise the first signer that is wrong, else the
     * first that is not supported, else why the SignedData itself failed.
     */
    public record Result(Verdict verdict, String reason, boolean attached, List<SignerResult> signers) {
        /**
         * Whether the whole SignedData is valid.
         * @return true when every signer is valid
         */
        public boolean isValid() { return verdict == Verdict.VALID; }
    }

    private final byte[] sm2Id;
    private final List<X509Certificate> anchors;

    /** A verifier with the default SM2 signer identity and no trust anchors. */
    public SignedDataVerifier() { this(DEFAULT_SM2_ID.getBytes(StandardCharsets.US_ASCII), null); }

    private SignedDataVerifier(byte[] sm2Id, List<X509Certificate> anchors) {
        this.sm2Id = sm2Id.clone();
        this.anchors = anchors == null ? null : List.copyOf(anchors);
    }

    /**
     * The same verifier with another SM2 signer identity.
     * @param id the identity the signers used (the default is {@link #DEFAULT_SM2_ID})
     * @return a new verifier; this one is unchanged
     */
    public SignedDataVerifier withSm2Id(byte[] id) { return new SignedDataVerifier(id, anchors); }

    /**
     * The same verifier requiring every signer certificate to chain to one
     * of {@code trusted}, through the SignedData's certificates, by
     * signatures alone (validity dates and extensions are not checked).
     * @param trusted the trust anchors
     * @return a new verifier; this one is unchanged
     */
    public SignedDataVerifier withTrustAnchors(Collection<X509Certificate> trusted) {
        return new SignedDataVerifier(sm2Id, new ArrayList<>(trusted));
    }

    /**
     * Verifies {@code signedData}: DER or BER, or its base64 text (the
     * library's {@code Sgn_Sign} output, PEM armour allowed).
     * {@code content} is the data of a detached SignedData, or null; for an
     * attached one, when given, it must equal the data inside.
     * @param signedData the SignedData, binary or base64 text
     * @param content the detached content, or null
     * @return the verdict of the whole SignedData and of each signer; never
     *         null, malformed input is an {@link Verdict#INVALID} result
     */
    public Result verify(byte[] signedData, byte[] content) {
        ContentInfo info;
        try {
            info = ContentInfo.getInstance(ASN1Primitive.fromByteArray(der(signedData)));
        } catch (IOException | RuntimeException e) {
            return failed(Verdict.INVALID, "malformed input: not a PKCS#7 structure (" + e.getMessage() + ")");
        }
        String type = info.getContentType().getId();
        if (!type.equals(SIGNED_DATA) && !type.equals(GM_SIGNED_DATA))
            return failed(Verdict.UNSUPPORTED, "unsupported: content type " + type + ", not a SignedData");
        CMSSignedData parsed;
        try {
            parsed = new CMSSignedData(new ContentInfo(new ASN1ObjectIdentifier(SIGNED_DATA), info.getContent()));
        } catch (Exception e) {
            return failed(Verdict.INVALID, "malformed input: " + e.getMessage());
        }
        if (parsed.getSignerInfos().size() == 0)
            return failed(Verdict.UNSUPPORTED, "unsupported: a SignedData without signers");
        CMSTypedData inside = parsed.getSignedContent();
        byte[] attachedBytes = inside == null ? null : (byte[]) inside.getContent();
        boolean emptyInside = attachedBytes != null && attachedBytes.length == 0;
        byte[] data;
        boolean attached;
        if (attachedBytes != null && attachedBytes.length > 0) {
            if (content != null && !Arrays.equals(content, attachedBytes))
                return failed(Verdict.INVALID, "content mismatch: the attached content differs from the content given");
            data = attachedBytes;
            attached = true;
        } else if (content != null) {
            data = content;
            attached = emptyInside && content.length == 0;
        } else if (emptyInside) {
            data = attachedBytes;
            attached = true;
        } else {
            return failed(Verdict.NO_CONTENT, "the SignedData is detached; give its content");
        }
        String eContentType = parsed.getSignedContentTypeOID();
        List<X509CertificateHolder> certs = new ArrayList<>(parsed.getCertificates().getMatches(null));
        List<SignerResult> results = new ArrayList<>();
        List<Boolean> withAttributes = new ArrayList<>();
        for (SignerInformation si : parsed.getSignerInfos().getSigners()) {
            results.add(verifySigner(si, certs, eContentType, data));
            withAttributes.add(si.getSignedAttributes() != null);
        }
        Verdict verdict = overall(results);
        // A signer with signed attributes says which content it signed; one
        // without may have signed content that was left out.
        if (emptyInside && content == null && verdict != Verdict.VALID) {
            for (int i = 0; i < results.size(); i++) {
                String reason = results.get(i).reason();
                if (reason != null && (reason.startsWith("digest mismatch")
                        || (reason.startsWith("bad signature") && !withAttributes.get(i))))
                    return new Result(Verdict.NO_CONTENT, "the content inside is empty and the signature is not over"
                        + " empty content; if the SignedData is detached, give its content", true, results);
            }
        }
        SignerResult first = results.stream().filter(r -> r.verdict() == verdict).findFirst().orElse(null);
        return new Result(verdict, first == null ? null : first.reason(), attached, List.copyOf(results));
    }

    private static Verdict overall(List<SignerResult> results) {
        for (SignerResult r : results) if (r.verdict() == Verdict.INVALID) return Verdict.INVALID;
        for (SignerResult r : results) if (r.verdict() != Verdict.VALID) return r.verdict();
        return Verdict.VALID;
    }

    private static Result failed(Verdict verdict, String reason) {
        return new Result(verdict, reason, false, List.of());
    }

    private SignerResult verifySigner(SignerInformation si, List<X509CertificateHolder> certs, String eContentType,
                                      byte[] data) {
        if (certs.isEmpty())
            return signer(Verdict.UNSUPPORTED, "unsupported: the SignedData carries no certificates", null, null, null);
        X509CertificateHolder holder = certs.stream().filter(c -> si.getSID().match(c)).findFirst().orElse(null);
        if (holder == null)
            return signer(Verdict.INVALID, "bad signature: no certificate in the SignedData names the signer", null,
                null, null);
        X509Certificate cert;
        try {
            cert = new JcaX509CertificateConverter().setProvider(BC).getCertificate(holder);
        } catch (GeneralSecurityException e) {
            return signer(Verdict.INVALID, "malformed input: the signer certificate: " + e.getMessage(), null, null, null);
        }
        String digestOid = si.getDigestAlgOID();
        String signatureOid = si.getEncryptionAlgOID();
        String digestName = DIGESTS.get(digestOid);
        boolean rsa = RSA_SIGNATURES.containsKey(signatureOid);
        if (signatureOid.equals(RSA_PSS))
            return signer(Verdict.UNSUPPORTED, "unsupported: RSA-PSS signatures", null, cert, null);
        if (!rsa && !SM2_SIGNATURES.contains(signatureOid))
            return signer(Verdict.UNSUPPORTED, "unsupported: signature algorithm " + signatureOid, null, cert, null);
        if (digestName == null)
            return signer(Verdict.UNSUPPORTED, "unsupported: digest algorithm " + digestOid, null, cert, null);
        String named = rsa ? RSA_SIGNATURES.get(signatureOid) : "1.2.156.10197.1.401";
        if (!named.isEmpty() && !named.equals(digestOid))
            return signer(Verdict.UNSUPPORTED, "unsupported: signature algorithm " + signatureOid
                + " with digest algorithm " + digestOid, null, cert, null);
        String algorithm = rsa ? "RSA with " + digestName + " (PKCS#1 v1.5)"
            : "SM2 with SM3, signer identity " + new String(sm2Id, StandardCharsets.ISO_8859_1);

        byte[] signed = data;
        Date signingTime = null;
        AttributeTable attributes = si.getSignedAttributes();
        try {
            if (attributes != null) {
                Attribute type = attributes.get(CMSAttributes.contentType);
                Attribute digest = attributes.get(CMSAttributes.messageDigest);
                if (type == null || digest == null)
                    return signer(Verdict.INVALID, "malformed input: the signed attributes lack the content type or"
                        + " the message digest", algorithm, cert, null);
                if (!ASN1ObjectIdentifier.getInstance(single(type)).getId().equals(eContentType))
                    return signer(Verdict.INVALID, "bad signature: the content-type attribute differs from the content's"
                        + " type", algorithm, cert, null);
                byte[] claimed = ASN1OctetString.getInstance(single(digest)).getOctets();
                if (!MessageDigest.isEqual(claimed, MessageDigest.getInstance(digestName, BC).digest(data)))
                    return signer(Verdict.INVALID, "digest mismatch: the message-digest attribute is not the " + digestName
                        + " digest of the content", algorithm, cert, null);
                Attribute time = attributes.get(CMSAttributes.signingTime);
                if (time != null) signingTime = Time.getInstance(single(time)).getDate();
                signed = si.getEncodedSignedAttributes();
            } else if (!eContentType.equals(DATA) && !eContentType.equals(GM_DATA)) {
                return signer(Verdict.INVALID, "malformed input: content of type " + eContentType
                    + " without signed attributes", algorithm, cert, null);
            }
            if (!signatureFits(rsa, digestName, cert.getPublicKey(), signed, si.getSignature()))
                return signer(Verdict.INVALID, "bad signature: the signature does not match the "
                    + (attributes != null ? "signed attributes" : "content") + " and the signer's key", algorithm, cert,
                    signingTime);
        } catch (GeneralSecurityException | IOException | RuntimeException e) {
            return signer(Verdict.INVALID, "bad signature: " + e.getMessage(), algorithm, cert, signingTime);
        }
        if (anchors != null && !chains(cert, certs))
            return signer(Verdict.INVALID, "untrusted: the signer certificate does not chain to a trust anchor",
                algorithm, cert, signingTime);
        return signer(Verdict.VALID, null, algorithm, cert, signingTime);
    }

    private static ASN1Encodable single(Attribute a) throws IOException {
        if (a.getAttrValues().size() != 1) throw new IOException("an attribute with other than one value");
        return a.getAttrValues().getObjectAt(0);
    }

    private boolean signatureFits(boolean rsa, String digestName, PublicKey key, byte[] signed, byte[] signature)
            throws GeneralSecurityException {
        Signature s;
        if (rsa) {
            s = Signature.getInstance(digestName.replace("-", "") + "withRSA", BC);
        } else {
            s = Signature.getInstance("SM3withSM2", BC);
            s.setParameter(new SM2ParameterSpec(sm2Id));
        }
        s.initVerify(key);
        s.update(signed);
        return s.verify(signature);
    }

    // Follows issuers from the signer through the SignedData's certificates
    // to an anchor; SM2-signed certificates use the default signer identity,
    // as BouncyCastle's certificate verification does.
    private boolean chains(X509Certificate cert, List<X509CertificateHolder> carried) {
        JcaX509CertificateConverter converter = new JcaX509CertificateConverter().setProvider(BC);
        X509Certificate current = cert;
        for (int depth = 0; depth <= MAX_CHAIN && current != null; depth++) {
            for (X509Certificate anchor : anchors)
                if (anchor.equals(current) || issuedBy(current, anchor)) return true;
            X509Certificate next = null;
            for (X509CertificateHolder h : carried) {
                try {
                    X509Certificate candidate = converter.getCertificate(h);
                    if (!candidate.equals(current) && issuedBy(current, candidate)) {
                        next = candidate;
                        break;
                    }
                } catch (GeneralSecurityException e) {
                    // not a usable certificate: not an issuer either
                }
            }
            current = next;
        }
        return false;
    }

    private static boolean issuedBy(X509Certificate child, X509Certificate issuer) {
        if (!child.getIssuerX500Principal().equals(issuer.getSubjectX500Principal())) return false;
        try {
            child.verify(issuer.getPublicKey(), BC);
            return true;
        } catch (GeneralSecurityException e) {
            return false;
        }
    }

    private static SignerResult signer(Verdict v, String reason, String algorithm, X509Certificate cert, Date time) {
        return new SignerResult(v, reason, algorithm, cert, time);
    }

    // DER as it is; otherwise base64 text, PEM armour allowed.
    private static byte[] der(byte[] input) {
        if (input.length > 0 && input[0] == 0x30) return input;
        String text = new String(input, StandardCharsets.US_ASCII);
        int begin = text.indexOf("-----BEGIN ");
        if (begin >= 0) {
            int body = text.indexOf('\n', begin);
            int end = text.indexOf("-----END ", begin);
            if (body < 0 || end < body) throw new IllegalArgumentException("a PEM block without its end");
            text = text.substring(body + 1, end);
        }
        return Base64.getMimeDecoder().decode(text.trim());
    }
}
