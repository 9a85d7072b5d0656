// SignedData made by BouncyCastle, the signer most Java servers and clients
// use: SM2 (SM3withSM2, identity 1234567812345678) and RSA, with and without
// signed attributes, attached and detached, by key identifier, two signers,
// and under the GM/T 0010 content types. Run as a single source file:
//   java -cp bcprov.jar:bcpkix.jar:bcutil.jar BcSignatures.java OUT_DIR DATA_FILE
import java.io.FileOutputStream;
import java.math.BigInteger;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.Security;
import java.security.cert.X509Certificate;
import java.security.spec.ECGenParameterSpec;
import java.util.Date;
import java.util.List;

import org.bouncycastle.asn1.ASN1ObjectIdentifier;
import org.bouncycastle.asn1.cms.ContentInfo;
import org.bouncycastle.asn1.x500.X500Name;
import org.bouncycastle.cert.jcajce.JcaCertStore;
import org.bouncycastle.cert.jcajce.JcaX509CertificateConverter;
import org.bouncycastle.cert.jcajce.JcaX509v3CertificateBuilder;
import org.bouncycastle.cert.jcajce.JcaX509ExtensionUtils;
import org.bouncycastle.asn1.x509.Extension;
import org.bouncycastle.cms.CMSProcessableByteArray;
import org.bouncycastle.cms.CMSSignedData;
import org.bouncycastle.cms.CMSSignedDataGenerator;
import org.bouncycastle.cms.SignerInfoGenerator;
import org.bouncycastle.cms.jcajce.JcaSignerInfoGeneratorBuilder;
import org.bouncycastle.jce.provider.BouncyCastleProvider;
import org.bouncycastle.openssl.jcajce.JcaPEMWriter;
import org.bouncycastle.operator.jcajce.JcaContentSignerBuilder;
import org.bouncycastle.operator.jcajce.JcaDigestCalculatorProviderBuilder;

public class BcSignatures {
    record Signer(KeyPair keys, X509Certificate cert, String algorithm) {}

    static Signer signer(String keyAlgorithm, String signatureAlgorithm, String cn) throws Exception {
        KeyPairGenerator g = KeyPairGenerator.getInstance(keyAlgorithm, "BC");
        if (keyAlgorithm.equals("EC")) g.initialize(new ECGenParameterSpec("sm2p256v1"));
        else g.initialize(2048);
        KeyPair keys = g.generateKeyPair();
        X500Name name = new X500Name("CN=" + cn + ",O=dsc verify tests");
        long now = System.currentTimeMillis();
        JcaX509v3CertificateBuilder b = new JcaX509v3CertificateBuilder(name, BigInteger.valueOf(now), new Date(now - 3600_000L),
            new Date(now + 2 * 86400_000L), name, keys.getPublic());
        b.addExtension(Extension.subjectKeyIdentifier, false,
            new JcaX509ExtensionUtils().createSubjectKeyIdentifier(keys.getPublic()));
        X509Certificate cert = new JcaX509CertificateConverter().setProvider("BC")
            .getCertificate(b.build(new JcaContentSignerBuilder(signatureAlgorithm).setProvider("BC").build(keys.getPrivate())));
        return new Signer(keys, cert, signatureAlgorithm);
    }

    static SignerInfoGenerator info(Signer s, boolean attributes, boolean byKeyId) throws Exception {
        JcaSignerInfoGeneratorBuilder b = new JcaSignerInfoGeneratorBuilder(
            new JcaDigestCalculatorProviderBuilder().setProvider("BC").build());
        b.setDirectSignature(!attributes);
        var signer = new JcaContentSignerBuilder(s.algorithm()).setProvider("BC").build(s.keys().getPrivate());
        return byKeyId ? b.build(signer, new JcaX509ExtensionUtils().createSubjectKeyIdentifier(s.cert().getPublicKey()).getKeyIdentifier())
                       : b.build(signer, s.cert());
    }

    static byte[] sign(List<Signer> signers, byte[] data, boolean attached, boolean attributes, boolean byKeyId,
                       ASN1ObjectIdentifier contentType) throws Exception {
        CMSSignedDataGenerator g = new CMSSignedDataGenerator();
        for (Signer s : signers) {
            g.addSignerInfoGenerator(info(s, attributes, byKeyId));
            g.addCertificates(new JcaCertStore(List.of(s.cert())));
        }
        CMSSignedData sd = g.generate(new CMSProcessableByteArray(contentType, data), attached);
        return sd.getEncoded("DER");
    }

    public static void main(String[] args) throws Exception {
        Security.addProvider(new BouncyCastleProvider());
        Path out = Path.of(args[0]);
        byte[] data = Files.readAllBytes(Path.of(args[1]));
        Signer sm2 = signer("EC", "SM3withSM2", "bc SM2");
        Signer rsa = signer("RSA", "SHA256withRSA", "bc RSA");
        ASN1ObjectIdentifier pkcs7Data = new ASN1ObjectIdentifier("1.2.840.113549.1.7.1");
        ASN1ObjectIdentifier gmData = new ASN1ObjectIdentifier("1.2.156.10197.6.1.4.2.1");
        Files.write(out.resolve("bc-sm2-attributes.p7"), sign(List.of(sm2), data, true, true, false, pkcs7Data));
        Files.write(out.resolve("bc-sm2-detached.p7"), sign(List.of(sm2), data, false, true, false, pkcs7Data));
        Files.write(out.resolve("bc-sm2-noattr.p7"), sign(List.of(sm2), data, true, false, false, pkcs7Data));
        Files.write(out.resolve("bc-sm2-keyid.p7"), sign(List.of(sm2), data, true, true, true, pkcs7Data));
        Files.write(out.resolve("bc-sm2-empty.p7"), sign(List.of(sm2), new byte[0], true, true, false, pkcs7Data));
        Files.write(out.resolve("bc-rsa-attributes.p7"), sign(List.of(rsa), data, true, true, false, pkcs7Data));
        Files.write(out.resolve("bc-rsa-noattr-detached.p7"), sign(List.of(rsa), data, false, false, false, pkcs7Data));
        Files.write(out.resolve("bc-two-signers.p7"), sign(List.of(sm2, rsa), data, true, true, false, pkcs7Data));
        // GM/T 0010: its own OIDs for data (inner) and SignedData (outer).
        CMSSignedData gm = new CMSSignedData(sign(List.of(sm2), data, true, true, false, gmData));
        ContentInfo gmInfo = new ContentInfo(new ASN1ObjectIdentifier("1.2.156.10197.6.1.4.2.2"),
            gm.toASN1Structure().getContent());
        Files.write(out.resolve("bc-sm2-gm-oids.p7"), gmInfo.getEncoded("DER"));
        for (Signer s : List.of(sm2, rsa)) {
            String name = s == sm2 ? "bc-sm2-cert.pem" : "bc-rsa-cert.pem";
            try (JcaPEMWriter w = new JcaPEMWriter(new java.io.OutputStreamWriter(new FileOutputStream(out.resolve(name).toFile())))) {
                w.writeObject(s.cert());
            }
        }
    }
}
