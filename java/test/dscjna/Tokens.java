package dscjna;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Base64;

/**
 * The soft tokens run-tests.sh provisions, and the OpenSSL verifiers of
 * tools/demo that judge every signature (never this code).
 */
final class Tokens {
    static final char[] SM2_PIN = "12345678".toCharArray();
    static final char[] RSA_PIN = "24681357".toCharArray();
    static final String SM2_CN = "java road SM2";
    static final String RSA_SERIAL = "JRSA002";
    static final String ZH_CN = "签名测试";
    static final String ZH_SERIAL = "JZH003";

    static final Path DIR = Path.of(System.getProperty("dsc.test.tokens"));
    static final Path VERIFIERS = Path.of(System.getProperty("dsc.test.verifiers"));

    private Tokens() {}

    static byte[] cert(String vendor) throws IOException {
        String pem = Files.readString(DIR.resolve(vendor).resolve("signer.pem"));
        return Base64.getDecoder().decode(pem.replaceAll("-----[A-Z ]+-----", "").replaceAll("\\s", ""));
    }

    /** Whether the verifier for this key type accepts p7 over data, made with this vendor's certificate. */
    static boolean verified(String key, byte[] p7, byte[] data, String vendor) throws Exception {
        return verify(key, p7, data, vendor, ProcessBuilder.Redirect.INHERIT);
    }

    /** The same where a refusal is expected, without its message in the output. */
    static boolean refused(String key, byte[] p7, byte[] data, String vendor) throws Exception {
        return !verify(key, p7, data, vendor, ProcessBuilder.Redirect.DISCARD);
    }

    private static boolean verify(String key, byte[] p7, byte[] data, String vendor,
            ProcessBuilder.Redirect messages) throws Exception {
        Path dir = Files.createTempDirectory("dsc-java-verify");
        try {
            Path p7File = Files.write(dir.resolve("sig.p7"), p7);
            Path dataFile = Files.write(dir.resolve("data"), data);
            Process p = new ProcessBuilder(VERIFIERS.resolve("verify-" + key + ".sh").toString(), p7File.toString(),
                    dataFile.toString(), DIR.resolve(vendor).resolve("signer.pem").toString())
                    .redirectOutput(messages).redirectError(messages).start();
            return p.waitFor() == 0;
        } finally {
            try (var files = Files.list(dir)) {
                for (Path f : (Iterable<Path>) files::iterator) Files.delete(f);
            }
            Files.delete(dir);
        }
    }
}
