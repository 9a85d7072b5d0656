package dscjna;

import com.sun.jna.Native;
import com.sun.jna.Platform;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The one dsc_jna_v3 library of the process, loaded on first use, with the
 * lock that pairs each selection with its signature and the charset of its
 * texts.
 *
 * <p>Where it is looked for, in order: the folders of {@code jna.library.path};
 * the jar, under JNA's platform folder ({@code win32-x86/}, {@code win32-x86-64/},
 * {@code linux-x86-64/}); the system's search path. From the jar the library
 * is copied into a private temporary folder of its own name, and on Linux the
 * chooser program {@code dsc_chooser} beside it, because the library runs the
 * chooser it finds beside itself (unless {@code DSC_JNA_CHOOSER} names one).
 *
 * <p>When it cannot be loaded, every call of the binding throws
 * {@link DscLibraryUnavailableException} with the same explanation.
 *
 * <p>Thread-safe.
 */
public final class DscLibrary {
    /** The library's base name, as JNA maps it to a file name. */
    public static final String NAME = "dsc_jna_v3";

    /**
     * The process-wide lock of the binding. The library serves one call at a
     * time, but the next {@code Sgn_Sign} from any thread signs with the last
     * selection from any thread: hold this lock across each select and its
     * sign. {@link DscSigner} does; code that calls {@link DscJna} directly
     * must too, so that both kinds of caller exclude each other.
     */
    public static final ReentrantLock LOCK = new ReentrantLock();

    private DscLibrary() {}

    /** The bound library; throws the same explanation on every call when it cannot be loaded. */
    public static DscJna get() {
        Loaded loaded = Loaded.INSTANCE;
        if (loaded.failure != null) throw new DscLibraryUnavailableException(loaded.failure, loaded.cause);
        return loaded.lib;
    }

    /** The text conversions of the library's code page (see {@link DscText}). */
    public static DscText text() {
        Loaded loaded = Loaded.INSTANCE;
        if (loaded.textFailure != null) throw loaded.textFailure;
        return loaded.text;
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
            List<String> tried = new ArrayList<>();
            try {
                lib = load(tried);
            } catch (Throwable e) {  // UnsatisfiedLinkError, IOException, a JNA without this platform
                cause = e;
                failure = explain(tried, e);
            }
        }
    }

    private static DscJna load(List<String> tried) throws IOException {
        String file = System.mapLibraryName(NAME);
        String searchPath = System.getProperty("jna.library.path");
        if (searchPath != null) {
            for (String dir : searchPath.split(File.pathSeparator)) {
                if (dir.isEmpty()) continue;
                Path candidate = Path.of(dir, file);
                tried.add(candidate.toString());
                if (Files.isRegularFile(candidate)) return Native.load(candidate.toString(), DscJna.class);
            }
        }
        String folder = Platform.RESOURCE_PREFIX + "/";
        tried.add("jar:" + folder + file);
        Path unpacked = unpack(folder, file);
        if (unpacked != null) return Native.load(unpacked.toString(), DscJna.class);
        tried.add(file + " on the system's search path");
        return Native.load(NAME, DscJna.class);
    }

    /** Copies the library (and on Linux the chooser) out of the jar; null when the jar has none for this JVM. */
    private static Path unpack(String folder, String file) throws IOException {
        ClassLoader loader = DscLibrary.class.getClassLoader();
        if (loader.getResource(folder + file) == null) return null;
        Path dir = Files.createTempDirectory("dsc-jna-");
        dir.toFile().deleteOnExit();
        Path library = copy(loader, folder + file, dir.resolve(file));
        if (!Platform.isWindows()) {
            Path chooser = copy(loader, folder + "dsc_chooser", dir.resolve("dsc_chooser"));
            if (chooser != null) chooser.toFile().setExecutable(true, true);
        }
        return library;
    }

    private static Path copy(ClassLoader loader, String resource, Path target) throws IOException {
        try (InputStream in = loader.getResourceAsStream(resource)) {
            if (in == null) return null;
            Files.copy(in, target, StandardCopyOption.REPLACE_EXISTING);
        }
        target.toFile().deleteOnExit();
        return target;
    }

    private static String explain(List<String> tried, Throwable e) {
        return "the native library " + NAME + " cannot be loaded into this " + jvmBits() + "-bit JVM ("
                + System.getProperty("os.name") + ", " + System.getProperty("os.arch") + "; it needs the "
                + Platform.RESOURCE_PREFIX + " build of the library). Looked for: " + String.join(", ", tried)
                + ". Cause: " + e;
    }

    // Not Native.POINTER_SIZE: JNA's own native part may be what failed to load.
    private static String jvmBits() {
        String bits = System.getProperty("sun.arch.data.model");
        return bits != null ? bits : Platform.is64Bit() ? "64" : "32";
    }
}
