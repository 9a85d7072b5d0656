package dscjna;

import com.sun.jna.Native;
import com.sun.jna.Platform;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.time.Duration;
import java.time.Instant;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.stream.Stream;

/**
 * Finds and loads the native library: each candidate in order, a candidate
 * that is missing or cannot be loaded (wrong bitness, a missing dependency)
 * skipped with its reason kept for the final message.
 *
 * <p>From the jar the library (and on Linux the chooser beside it) is unpacked
 * into a folder {@value #FOLDER_PREFIX}* of {@code jna.tmpdir}, or of
 * {@code java.io.tmpdir} when that is unset. The folder holds a file locked
 * for the life of the JVM. Windows cannot delete a loaded DLL, so a JVM's
 * folder may outlive it; the next start removes every such folder whose lock
 * no JVM holds any more.
 */
final class LibraryLoader {
    static final String FOLDER_PREFIX = "dsc-jna-";
    private static final String IN_USE = "in-use.lock";
    // A folder without its lock file may be one another JVM is unpacking into right now.
    private static final Duration UNLOCKED_GRACE = Duration.ofMinutes(10);

    /** The lock of this JVM's unpacked folder: held, never released, so that no other JVM removes the folder. */
    @SuppressWarnings("unused")
    private static FileLock inUse;

    private final List<String> failures = new ArrayList<>();

    /** What each candidate that failed gave, in the order tried. */
    List<String> failures() {
        return failures;
    }

    /** The bound library, or null when no candidate loaded ({@link #failures} says why). */
    DscJna load() {
        String file = System.mapLibraryName(DscLibrary.NAME);
        String searchPath = System.getProperty("jna.library.path");
        if (searchPath != null) {
            for (String dir : searchPath.split(File.pathSeparator)) {
                if (dir.isEmpty()) continue;
                Path candidate = Path.of(dir, file);
                if (!Files.isRegularFile(candidate)) {
                    failures.add(candidate + ": no such file");
                    continue;
                }
                DscJna lib = tryLoad(candidate.toString(), candidate.toString());
                if (lib != null) return lib;
            }
        }
        String resource = Platform.RESOURCE_PREFIX + "/" + file;
        try {
            Path unpacked = unpack(Platform.RESOURCE_PREFIX + "/", file);
            if (unpacked == null) {
                failures.add("jar:" + resource + ": not in the jar");
            } else {
                DscJna lib = tryLoad("jar:" + resource + " (unpacked to " + unpacked + ")", unpacked.toString());
                if (lib != null) return lib;
            }
        } catch (IOException | RuntimeException e) {
            failures.add("jar:" + resource + ": cannot be unpacked: " + e);
        }
        return tryLoad(file + " on the system's search path", DscLibrary.NAME);
    }

    private DscJna tryLoad(String description, String name) {
        try {
            return Native.load(name, DscJna.class);
        } catch (UnsatisfiedLinkError | RuntimeException e) {
            failures.add(description + ": " + e.getMessage());
            return null;
        }
    }

    /** Copies the library (and on Linux the chooser) out of the jar; null when the jar has none for this JVM. */
    private static Path unpack(String folder, String file) throws IOException {
        ClassLoader loader = LibraryLoader.class.getClassLoader();
        if (loader.getResource(folder + file) == null) return null;
        Path tmp = temporaryRoot();
        removeStaleFolders(tmp);
        Path dir = Files.createTempDirectory(tmp, FOLDER_PREFIX);
        dir.toFile().deleteOnExit();
        Path lockFile = dir.resolve(IN_USE);
        FileChannel channel = FileChannel.open(lockFile, StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE);
        lockFile.toFile().deleteOnExit();
        inUse = channel.lock();
        Path library = copy(loader, folder + file, dir.resolve(file));
        if (!Platform.isWindows()) {
            Path chooser = copy(loader, folder + "dsc_chooser", dir.resolve("dsc_chooser"));
            if (chooser != null) chooser.toFile().setExecutable(true, true);
        }
        return library;
    }

    static Path temporaryRoot() {
        String jnaTmp = System.getProperty("jna.tmpdir");
        return Path.of(jnaTmp != null && !jnaTmp.isEmpty() ? jnaTmp : System.getProperty("java.io.tmpdir"));
    }

    /**
     * Removes the unpacked folders of JVMs that have ended: those whose lock
     * file no JVM holds. A folder that cannot be removed (another user's, a
     * DLL still loaded) is left for a later start.
     */
    static void removeStaleFolders(Path tmp) {
        try (DirectoryStream<Path> folders = Files.newDirectoryStream(tmp, FOLDER_PREFIX + "*")) {
            for (Path folder : folders)
                if (Files.isDirectory(folder) && !inUse(folder)) removeTree(folder);
        } catch (IOException | RuntimeException e) {
            // Not being able to tidy up must not keep the library from loading.
        }
    }

    private static boolean inUse(Path folder) {
        Path lockFile = folder.resolve(IN_USE);
        try {
            if (!Files.exists(lockFile))
                return Files.getLastModifiedTime(folder).toInstant().isAfter(Instant.now().minus(UNLOCKED_GRACE));
            try (FileChannel channel = FileChannel.open(lockFile, StandardOpenOption.WRITE);
                 FileLock lock = channel.tryLock()) {
                return lock == null;
            }
        } catch (IOException | RuntimeException e) {
            return true;  // OverlappingFileLockException: this JVM's own; otherwise unreadable: leave it
        }
    }

    private static void removeTree(Path folder) {
        try (Stream<Path> paths = Files.walk(folder)) {
            for (Path p : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) Files.deleteIfExists(p);
        } catch (IOException | RuntimeException e) {
            // Left for a later start.
        }
    }

    private static Path copy(ClassLoader loader, String resource, Path target) throws IOException {
        try (InputStream in = loader.getResourceAsStream(resource)) {
            if (in == null) return null;
            Files.copy(in, target, StandardCopyOption.REPLACE_EXISTING);
        }
        target.toFile().deleteOnExit();
        return target;
    }
}
