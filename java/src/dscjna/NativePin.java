package dscjna;

import com.sun.jna.Memory;
import com.sun.jna.Pointer;
import java.util.Arrays;

/**
 * A PIN in native memory for one call, in the library's code page, zeroed and
 * released on close. The heap bytes it was encoded through are zeroed at
 * once; the caller's {@code char[]} stays the caller's to clear.
 */
final class NativePin implements AutoCloseable {
    private final Memory memory;

    NativePin(DscText text, char[] pin, String what) {
        if (pin == null) {
            memory = null;
            return;
        }
        byte[] bytes = text.encodeSecret(pin, what);
        try {
            memory = new Memory(bytes.length);
            memory.write(0, bytes, 0, bytes.length);
        } finally {
            Arrays.fill(bytes, (byte) 0);
        }
    }

    /** The NUL-terminated PIN, or null for no PIN. */
    Pointer pointer() {
        return memory;
    }

    @Override
    public void close() {
        if (memory == null) return;
        memory.clear();
        memory.close();
    }
}
