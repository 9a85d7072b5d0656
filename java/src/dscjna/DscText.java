package dscjna;

import java.nio.ByteBuffer;
import java.nio.CharBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.function.Function;

/**
 * Texts in the library's code page: which charset that is, and the
 * conversions to and from the NUL-terminated bytes the exports take.
 *
 * <p>The charset is the system property {@value #PROPERTY} when set;
 * otherwise on Windows the ANSI code page ({@code native.encoding}, or
 * {@code sun.jnu.encoding} before Java 17), and on Linux the codeset the
 * library itself derives from the environment (the first of LC_ALL, LC_CTYPE
 * and LANG that is set: the codeset in the locale's name, the installed
 * locale's codeset for a name without one, UTF-8 for C, POSIX or no locale at
 * all). The library hands that name to the C library's converter, which reads
 * any spelling of it ({@code ru_RU.koi8r}, {@code de_DE.iso885915@euro},
 * {@code ja_JP.eucjp}); the binding reads it the same way: case, dashes,
 * underscores and dots do not count, so "koi8r" is Java's KOI8-R and
 * "iso885915" its ISO-8859-15. Only a code set this JVM does not have makes
 * the binding's calls throw {@link IllegalStateException}, naming
 * {@value #PROPERTY}.
 *
 * <p>Instances are immutable and safe to share between threads.
 */
public final class DscText {
    /** The system property that overrides the charset the binding uses for the library's texts. */
    public static final String PROPERTY = "dsc.jna.encoding";

    private final Charset charset;

    DscText(Charset charset) {
        this.charset = charset;
    }

    /**
     * The charset of the library's texts.
     *
     * @return the charset every text is converted in
     */
    public Charset charset() {
        return charset;
    }

    /**
     * The library's charset from system properties and environment variables
     * ({@code property} and {@code env} look one name up, null when unset).
     */
    static Charset choose(Function<String, String> property, Function<String, String> env, boolean windows) {
        String chosen = property.apply(PROPERTY);
        if (chosen != null && !chosen.isEmpty()) return named(chosen, "the system property " + PROPERTY);
        if (windows) {
            String ansi = property.apply("native.encoding");
            if (ansi == null) ansi = property.apply("sun.jnu.encoding");
            return ansi == null ? Charset.defaultCharset() : named(ansi, "the JVM's native encoding");
        }
        for (String var : new String[] {"LC_ALL", "LC_CTYPE", "LANG"}) {
            String locale = env.apply(var);
            if (locale == null || locale.isEmpty()) continue;
            int dot = locale.indexOf('.');
            if (dot < 0) {
                if (locale.equals("C") || locale.equals("POSIX")) return StandardCharsets.UTF_8;
                // The JVM set up the same locale, so its native encoding is
                // that locale's codeset; plain ASCII means the system does not
                // have the locale, where the library falls back to UTF-8.
                String installed = property.apply("native.encoding");
                if (installed == null) installed = property.apply("sun.jnu.encoding");
                if (installed == null || installed.equals("ANSI_X3.4-1968") || installed.equals("US-ASCII"))
                    return StandardCharsets.UTF_8;
                return named(installed, "the JVM's native encoding for " + var + "=" + locale);
            }
            String codeset = locale.substring(dot + 1);
            int at = codeset.indexOf('@');
            if (at >= 0) codeset = codeset.substring(0, at);
            return codeset.isEmpty() ? StandardCharsets.UTF_8 : named(codeset, var + "=" + locale);
        }
        return StandardCharsets.UTF_8;
    }

    private static Charset named(String name, String source) {
        String key = normalised(name);
        if (key.equals("UTF8")) return StandardCharsets.UTF_8;
        try {
            return Charset.forName(name);
        } catch (IllegalArgumentException e) {
            // Not a name Java spells this way: try every name and alias it has, compared as the C library compares.
            for (Charset cs : Charset.availableCharsets().values()) {
                if (normalised(cs.name()).equals(key)) return cs;
                for (String alias : cs.aliases())
                    if (normalised(alias).equals(key)) return cs;
            }
            throw new IllegalStateException("the code page \"" + name + "\" named by " + source
                    + " is not known to this JVM; set -D" + PROPERTY + "=<charset> to the library's code page", e);
        }
    }

    /** A code set's name without case and punctuation: "koi8r", "KOI8-R" and "koi8_r" are all "KOI8R". */
    private static String normalised(String name) {
        StringBuilder out = new StringBuilder(name.length());
        for (char c : name.toCharArray())
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                out.append(Character.toUpperCase(c));
        return out.toString();
    }

    /**
     * The NUL-terminated bytes of {@code text}, or null for null. A text the
     * charset cannot represent, or one with a NUL inside, is refused: sent
     * with "?" in its place or cut at the NUL, it would be another text that
     * could match another certificate or token.
     */
    byte[] encode(String text, String what) {
        if (text == null) return null;
        if (text.indexOf('\0') >= 0) throw new IllegalArgumentException(what + " contains a NUL character");
        try {
            ByteBuffer bytes = encoder(what).encode(CharBuffer.wrap(text));
            byte[] out = new byte[bytes.remaining() + 1];
            bytes.get(out, 0, out.length - 1);
            return out;
        } catch (CharacterCodingException e) {
            throw unrepresentable(what);
        }
    }

    /**
     * A secret's bytes in the charset, NUL-terminated, in a heap buffer the
     * caller zeroes; no other copy is left behind (the encoder writes into
     * this one buffer, sized for the worst case, so it never grows).
     */
    byte[] encodeSecret(char[] secret, String what) {
        CharsetEncoder encoder = encoder(what);
        byte[] out = new byte[(int) Math.ceil(encoder.maxBytesPerChar() * secret.length) + 1];
        ByteBuffer buffer = ByteBuffer.wrap(out);
        CharBuffer in = CharBuffer.wrap(secret);
        if (encoder.encode(in, buffer, true).isError() || encoder.flush(buffer).isError()) {
            Arrays.fill(out, (byte) 0);
            throw unrepresentable(what);
        }
        for (int i = 0; i < buffer.position(); i++) {
            if (out[i] == 0) {
                Arrays.fill(out, (byte) 0);
                throw new IllegalArgumentException(what + " contains a NUL character");
            }
        }
        return out;
    }

    /** The text of an output area, up to its first NUL. */
    String decode(byte[] area) {
        int n = 0;
        while (n < area.length && area[n] != 0) n++;
        return new String(area, 0, n, charset);
    }

    private CharsetEncoder encoder(String what) {
        return charset.newEncoder().onMalformedInput(CodingErrorAction.REPORT)
                .onUnmappableCharacter(CodingErrorAction.REPORT);
    }

    private IllegalArgumentException unrepresentable(String what) {
        return new IllegalArgumentException(what + " cannot be written in " + charset.name()
                + ", the code page the library reads (set -D" + PROPERTY + " if that is not the system's)");
    }
}
