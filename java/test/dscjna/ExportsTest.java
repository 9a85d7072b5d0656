package dscjna;

import static org.junit.jupiter.api.Assertions.assertEquals;

import com.sun.jna.Pointer;
import java.lang.reflect.Method;
import java.util.Arrays;
import java.util.Map;
import java.util.TreeMap;
import org.junit.jupiter.api.Test;

/** The JNA interface against the exports of dsc_jna.h, as the build wrote them down. */
class ExportsTest {
    // How the binding may pass each kind: texts and buffers as byte[], a PIN
    // (wiped after the call) or a returned text as Pointer.
    private static String kindOf(Class<?> type) {
        if (type == int.class) return "int";
        if (type == void.class) return "void";
        if (type == byte[].class || type == Pointer.class) return "pointer";
        return "unexpected " + type.getName();
    }

    @Test
    void everyExportIsDeclaredWithItsShapeAndNothingElse() {
        Map<String, String> expected = new TreeMap<>();
        for (String[] export : Exports.ALL)
            expected.put(export[0], String.join(",", Arrays.copyOfRange(export, 1, export.length)));
        Map<String, String> declared = new TreeMap<>();
        for (Method m : DscJna.class.getDeclaredMethods()) {
            StringBuilder shape = new StringBuilder(kindOf(m.getReturnType()));
            for (Class<?> p : m.getParameterTypes()) shape.append(',').append(kindOf(p));
            declared.put(m.getName(), shape.toString());
        }
        assertEquals(11, expected.size());
        assertEquals(expected, declared);
    }
}
