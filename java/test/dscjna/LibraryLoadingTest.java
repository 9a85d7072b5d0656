package dscjna;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;

/** How the binding behaves in a JVM where the library is missing, or present with no token. */
class LibraryLoadingTest {

    static List<String> probe(String classPath, Map<String, String> env, String... properties)
            throws IOException, InterruptedException {
        List<String> command = new java.util.ArrayList<>(List.of(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-cp", classPath));
        command.addAll(List.of(properties));
        command.add(LibraryProbe.class.getName());
        ProcessBuilder pb = new ProcessBuilder(command).redirectErrorStream(true);
        pb.environment().putAll(env);
        Process p = pb.start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertEquals(0, p.waitFor(), out);
        return out.lines().toList();
    }

    @Test
    void aMissingLibraryIsExplainedTheSameWayOnEveryCall() throws Exception {
        Path empty = Files.createTempDirectory("dsc-no-library");
        List<String> lines = probe(System.getProperty("dsc.test.classes-without-natives"), Map.of(),
                "-Djna.library.path=" + empty);
        assertEquals(2, lines.size(), lines.toString());  // the first call fails, so nothing else prints
        assertEquals(lines.get(0), lines.get(1), "the second call must say what the first said");
        String line = lines.get(0);
        assertTrue(line.startsWith(DscLibraryUnavailableException.class.getName()), line);
        assertTrue(line.contains(empty.resolve(System.mapLibraryName(DscLibrary.NAME)).toString()), line);
        assertTrue(line.contains(System.getProperty("sun.arch.data.model") + "-bit JVM"), line);
        Files.delete(empty);
    }

    @Test
    void noTokenGivesAnEmptyListAndItsOwnKind() throws Exception {
        Path reg = Files.createTempFile("dsc-no-token", ".reg");
        Files.writeString(reg, "Windows Registry Editor Version 5.00\r\n\r\n");
        List<String> lines = probe(System.getProperty("dsc.test.classpath"), Map.of("DSC_JNA_REGISTRY", reg.toString()));
        assertEquals("devices []", lines.get(0));
        assertTrue(lines.get(1).startsWith(DscException.NoToken.class.getName() + ": Sgn_Dev_GetUserData failed with -3055 "
                + ResultCode.DSC_ACX_ERR_NO_DEVICE.name()), lines.get(1));
        Files.delete(reg);
    }

    @Test
    void aNullLabelMeansTheOnlyTokenPresent() throws Exception {
        Path reg = Files.createTempFile("dsc-one-token", ".reg");
        Files.writeString(reg, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\"
                + "Cryptography\\SKF\\Provider\\only]\r\n\"SKFImagePath\"=\"" + Tokens.DIR.resolve("sm2/libsoftskf.so") + "\"\r\n");
        List<String> lines = probe(System.getProperty("dsc.test.classpath"), Map.of("DSC_JNA_REGISTRY", reg.toString()));
        assertEquals(List.of("devices [JAVA-SM2]", "user data java user data", "serial JSM2001"), lines.subList(0, 3));
        Files.delete(reg);
    }

    @Test
    void aCandidateThatCannotLoadIsSkippedAndStaleFoldersAreRemoved() throws Exception {
        // A library of the wrong bitness first on jna.library.path: the jar's is loaded all the same.
        Path wrong = Files.createTempDirectory("dsc-wrong-bitness");
        Path tmp = Files.createTempDirectory("dsc-jna-tmpdir");
        byte[] elf = Files.readAllBytes(Path.of(System.getProperty("dsc.test.library")));
        elf[4] = 1;  // EI_CLASS: ELFCLASS32
        Path wrongFile = Files.write(wrong.resolve(System.mapLibraryName(DscLibrary.NAME)), elf);
        Path stale = Files.createDirectories(tmp.resolve(LibraryLoader.FOLDER_PREFIX + "ended"));
        Files.writeString(stale.resolve("in-use.lock"), "");
        Files.writeString(stale.resolve(System.mapLibraryName(DscLibrary.NAME)), "left by a JVM that has ended");
        List<String> lines = probe(System.getProperty("dsc.test.classpath"), Map.of(),
                "-Djna.library.path=" + wrong, "-Djna.tmpdir=" + tmp);
        assertTrue(lines.get(0).startsWith("devices ["), lines.toString());
        assertTrue(Files.notExists(stale), "a folder no JVM holds is removed");
        try (var left = Files.list(tmp)) {
            assertEquals(List.of(), left.toList(), "the run's own folder goes at its exit");
        }

        // Without the jar, the message keeps every candidate's reason.
        lines = probe(System.getProperty("dsc.test.classes-without-natives"), Map.of(), "-Djna.library.path=" + wrong);
        assertTrue(lines.get(0).contains(wrongFile + ": ")
                && lines.get(0).contains("jar:") && lines.get(0).contains("system's search path"), lines.get(0));
        Files.delete(wrongFile);
        Files.delete(wrong);
        Files.delete(tmp);
    }
}
