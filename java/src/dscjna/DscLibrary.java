package dscjna;

import com.sun.jna.Platform;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;

/**
 * The one dsc_jna_v3 library of the process, loaded on first use, the lock
 * that pairs each selection with its signature, and the charset of its texts.
 *
 * <p>Where it is looked for, in order: the folders of {@code jna.library.path};
 * the jar, under JNA's platform folder ({@code win32-x86/}, {@code win32-x86-64/},
 * {@code linux-x86-64/}); the system's search path. A candidate that is missing
 * or cannot be loaded (a file of the wrong bitness, a missing dependency) is
 * skipped and the next one tried. From the jar the library is copied into a
 * private folder {@code dsc-jna-*} of {@code jna.tmpdir} (or
 * {@code java.io.tmpdir} when that is unset), and on Linux the chooser program
 * {@code dsc_chooser} beside it, because the library runs the chooser it finds
 * beside itself (unless {@code DSC_JNA_CHOOSER} names one). Such folders left
 * behind by JVMs that have ended (Windows cannot delete a loaded DLL) are
 * removed at the next start.
 *
 * <p>When no candidate loads, every call of the binding throws
 * {@link DscLibraryUnavailableException} with the same explanation: each
 * candidate and why it failed.
 *
 * <p>Thread-safe.
 */
public final class DscLibrary {
    /** The library's base name, as JNA maps it to a file name. */
    public static final String NAME = "dsc_jna_v3";

    private DscLibrary() {}

    /**
     * The bound library, for a caller of the raw exports; hold {@link #lock}
     * across each selection and its {@code Sgn_Sign}.
     *
     * @return the library's eleven exports
     * @throws DscLibraryUnavailableException the library cannot be loaded (the same explanation on every call)
     */
    public static DscJna get() {
        Loaded loaded = Loaded.INSTANCE;
        if (loaded.failure != null) throw new DscLibraryUnavailableException(loaded.failure, loaded.cause);
        return loaded.lib;
    }

    /**
     * The text conversions of the library's code page.
     *
     * @return the charset and conversions the binding uses for every text
     * @throws IllegalStateException the code page the library uses is one this JVM does not know;
     *     the message names the system property {@value DscText#PROPERTY} that sets it
     */
    public static DscText text() {
        Loaded loaded = Loaded.INSTANCE;
        if (loaded.textFailure != null) throw loaded.textFailure;
        return loaded.text;
    }

    /**
     * Takes the binding's process-wide lock for a caller of the raw exports,
     * waiting at most {@code timeout}: the next {@code Sgn_Sign} from any
     * thread signs with the last selection from any thread, so hold it across
     * each selection and its sign. {@link DscSigner} takes the same lock, so
     * both kinds of caller exclude each other. Re-entrant on the same thread.
     *
     * @param timeout how long to wait for another thread's hold to end
     * @return the hold; {@link Hold#close() close} it (try-with-resources) to let the other threads in
     * @throws DscLockTimeoutException another thread held the lock the whole time
     * @throws DscInterruptedException the thread was interrupted while waiting
     */
    public static Hold lock(Duration timeout) {
        LibraryLock.acquire(timeout, "DscLibrary.lock");
        return new Hold(Thread.currentThread());
    }

    /** One hold of the process-wide lock, taken by {@link DscLibrary#lock}. */
    public static final class Hold implements AutoCloseable {
        private final Thread holder;
        private final AtomicBoolean released = new AtomicBoolean();

        private Hold(Thread holder) {
            this.holder = holder;
        }

        /** Gives the hold back; any thread may, and a second close does nothing. */
        @Override
        public void close() {
            if (released.compareAndSet(false, true)) LibraryLock.release(holder);
        }
    }

    /** Loads once; failures are kept as text so the class itself always initialises. */
    private static final class Loaded {
        static final Loaded INSTANCE = new Loaded();

        DscJna lib;
        String failure;
        Throwable cause;
        DscText text;
        IllegalStateException textFailure;

        Loaded() {
            try {
                text = new DscText(DscText.choose(System::getProperty, System::getenv, Platform.isWindows()));
            } catch (IllegalStateException e) {
                textFailure = e;
            }
            LibraryLoader loader = new LibraryLoader();
            try {
                lib = loader.load();
            } catch (Throwable e) {  // a JNA without this platform
                cause = e;
                loader.failures().add("JNA: " + e);
            }
            if (lib == null) failure = explain(loader.failures());
        }
    }

    private static String explain(List<String> failures) {
        return "the native library " + NAME + " cannot be loaded into this " + jvmBits() + "-bit JVM ("
                + System.getProperty("os.name") + ", " + System.getProperty("os.arch") + "; it needs the "
                + Platform.RESOURCE_PREFIX + " build of the library). Tried, in order: " + String.join("; ", failures);
    }

    // Not Native.POINTER_SIZE: JNA's own native part may be what failed to load.
    private static String jvmBits() {
        String bits = System.getProperty("sun.arch.data.model");
        return bits != null ? bits : Platform.is64Bit() ? "64" : "32";
    }
}
