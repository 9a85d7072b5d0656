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
        assertEquals(2, lines.size(), lines.toString());
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
}
